#pragma once
// Helpers of the diagnostics tests: file bytes, a log fixture and a swappable file write.
#include "diagnostics/logFile.h"
#include "tests/testing/debugOutputCapture.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The code units of wide text as UTF-16LE bytes.
std::string utf16Bytes(const std::wstring& text);
std::string hex32Text(DWORD value);
std::string hex64Text(unsigned __int64 value);

// Starts this program again with the environment variable set and waits for it (bounded). A
// child does its part before the test runner starts, when it finds the variable, and reports
// through its exit code; 0xFFFFFFFx when it could not be run or did not end.
DWORD runChildOfThisProgram(const wchar_t* variable, const wchar_t* value);

// Appends through a second handle of our own, as another writer would.
void appendWithOwnHandle(const std::wstring& path, const std::string& bytes);

// Logging on, a fresh folder; on the way out the log file is closed and logging switched off.
class logFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::wstring logPath(const wchar_t* name = L"test.log") const { return folder / name; }

    tempFolder folder;
};

// Swaps the writer's file write for the life of the object.
class fileWriteSwap {
public:
    explicit fileWriteSwap(logFile::fileWriteFunction writer)
        : m_previous(logFile::setFileWriteFunction(writer)) {}
    ~fileWriteSwap() { logFile::setFileWriteFunction(m_previous); }
    fileWriteSwap(const fileWriteSwap&) = delete;
    fileWriteSwap& operator=(const fileWriteSwap&) = delete;

private:
    logFile::fileWriteFunction m_previous;
};

// A file write that counts its calls and passes them on.
struct countingFileWrite {
    static std::atomic<int> calls;
    static BOOL WINAPI write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped);
};
