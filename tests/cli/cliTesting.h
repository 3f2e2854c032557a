#pragma once
// What the logsmithctl tests share: the product keys below a profile's root, an application data
// folder of the test's choosing, and reading a file whole.
#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>

inline const wchar_t* const userKey = L"Software\\Tarnwick\\Driftmarkx64";
inline const wchar_t* const defaultKey = L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64";

// The application data folder testFolderLookup reports; set it before installing the lookup.
inline std::wstring g_appData;
inline HRESULT WINAPI testFolderLookup(HWND, int folder, HANDLE, DWORD, wchar_t* path) {
    if (folder != CSIDL_APPDATA)
        return E_FAIL;
    wcscpy_s(path, MAX_PATH, g_appData.c_str());
    return S_OK;
}

inline std::string readBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
