#include "tests/testing/wineHost.h"

#include <windows.h>

namespace {

// Wine's own exports of kernel32; null on Windows. Their results come from the process heap.
template <typename Function> Function wineExport(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

} // namespace

bool runningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string linuxPathOf(const std::wstring& path) {
    using lookup = char*(CDECL*)(const wchar_t*);
    const auto toLinux = wineExport<lookup>("wine_get_unix_file_name");
    char* name = toLinux != nullptr ? toLinux(path.c_str()) : nullptr;
    std::string result = name != nullptr ? name : "";
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

std::wstring windowsPathOf(const char* linuxPath) {
    using lookup = wchar_t*(CDECL*)(const char*);
    const auto toWindows = wineExport<lookup>("wine_get_dos_file_name");
    wchar_t* name = toWindows != nullptr ? toWindows(linuxPath) : nullptr;
    std::wstring result = name != nullptr ? name : L"";
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}
