#include "platform/systemModules.h"

#include <string>

bool restrictDllSearchToSystemFolder() {
    // Looked up, not imported: a system without it would otherwise refuse to start the program.
    using setDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    const auto restrict = reinterpret_cast<setDefaultDllDirectories>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    return restrict != nullptr&& restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool removeCurrentFolderFromDllSearch() {
    return ::SetDllDirectoryW(L"") != FALSE;
}

HMODULE loadSystemModule(const wchar_t* name) {
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A system that does not know the search flag: the full path in the system folder does the
    // same.
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, length) + L'\\' + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
