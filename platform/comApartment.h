#pragma once
// COM for the calling thread, in a single-threaded apartment, for as long as the object lives.
// The shell's file dialogs and ShellExecuteW need it on the thread that calls them: shell
// extensions they load expect an apartment-threaded caller.
#ifndef RC_INVOKED
#include <objbase.h>

class comApartment {
public:
    comApartment()
        : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    // Every successful initialisation, S_FALSE included, is balanced by one uninitialisation.
    ~comApartment() {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    comApartment(const comApartment&) = delete;
    comApartment& operator=(const comApartment&) = delete;

    // S_OK; S_FALSE when this thread was already in a single-threaded apartment;
    // RPC_E_CHANGED_MODE when it is in the multithreaded one (COM then stays as it was).
    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

#endif
