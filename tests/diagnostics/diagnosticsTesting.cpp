#include "diagnosticsTesting.h"

#include "support/uniqueResource.h"
#include "tests/testing/childProcess.h"

#include <cstdio>

std::string utf16Bytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
    }
    return bytes;
}

std::string hex32Text(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

std::string hex64Text(unsigned __int64 value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

DWORD runChildOfThisProgram(const wchar_t* variable, const wchar_t* value) {
    wchar_t program[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 0xFFFFFFFF;
    const std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    ::SetEnvironmentVariableW(variable, value);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    const BOOL started = startChildProcess(program, commandLine, FALSE, 0, startup, child);
    ::SetEnvironmentVariableW(variable, nullptr);
    if (!started)
        return 0xFFFFFFFE;
    uniqueKernelHandle process(child.hProcess);
    uniqueKernelHandle thread(child.hThread);
    if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 0xFFFFFFFD);
        return 0xFFFFFFFD;
    }
    DWORD exitCode = 0xFFFFFFFC;
    ::GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

void appendWithOwnHandle(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    EXPECT_TRUE(
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ::CloseHandle(file);
}

void logFileTest::SetUp() {
    logFile::enableLogging(TRUE);
}

void logFileTest::TearDown() {
    // Release the file so the folder can go.
    theLogFile.closeLogFile();
    logFile::enableLogging(FALSE);
    logFile::enableErrorText(TRUE);
    logFile::setTimingLogFile(nullptr);
}

std::atomic<int> countingFileWrite::calls{0};

BOOL WINAPI countingFileWrite::write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                     LPOVERLAPPED overlapped) {
    ++calls;
    return ::WriteFile(file, data, size, written, overlapped);
}
