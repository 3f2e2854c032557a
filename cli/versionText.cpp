#include "cli/logsmithctl.h"

#include <vector>

std::wstring versionText() {
    wchar_t path[MAX_PATH + 1] = L"";
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    std::wstring text = L"logsmithctl";
    if (length == 0 || length > MAX_PATH)
        return text;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return text;
    std::vector<BYTE> record(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::GetFileVersionInfoW(path, 0, size, record.data()) ||
        !::VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO))
        return text;
    return text + L" " + std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." +
           std::to_wstring(HIWORD(fixed->dwProductVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwProductVersionLS));
}
