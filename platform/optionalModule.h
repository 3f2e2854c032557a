#pragma once
// A system DLL whose functions are optional: the module already loaded in the process if there
// is one, else loaded from the system folder for the lifetime of this object and freed with it.
#ifndef RC_INVOKED
#include "platform/systemModules.h"
#include "support/uniqueResource.h"

#include <windows.h>

class optionalModule {
public:
    explicit optionalModule(const wchar_t* name) : m_module(::GetModuleHandleW(name)) {
        if (m_module == nullptr) {
            m_loadedHere.reset(loadSystemModule(name));
            m_module = m_loadedHere.get();
        }
    }

    bool isAvailable() const { return m_module != nullptr; }
    bool loadedHere() const { return static_cast<bool>(m_loadedHere); }

    // The function as the given pointer type, or null when the module or function is missing.
    template <typename function> function find(const char* name) const {
        if (m_module == nullptr)
            return nullptr;
        const FARPROC found = ::GetProcAddress(m_module, name);
        return reinterpret_cast<function>(reinterpret_cast<void*>(found));
    }

private:
    HMODULE m_module;
    uniqueModule m_loadedHere;
};

#endif
