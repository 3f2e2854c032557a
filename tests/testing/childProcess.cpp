#include "tests/testing/childProcess.h"

BOOL startChildProcess(const wchar_t* program, const std::wstring& commandLine, BOOL inheritHandles,
                       DWORD flags, STARTUPINFOW& startup, PROCESS_INFORMATION& child) {
    constexpr DWORD attempts = 5;
    for (DWORD attempt = 1;; ++attempt) {
        std::wstring line = commandLine;
        child = {};
        if (::CreateProcessW(program, line.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                             nullptr, &startup, &child))
            return TRUE;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == attempts)
            return FALSE;
        ::Sleep(100 * attempt);
    }
}
