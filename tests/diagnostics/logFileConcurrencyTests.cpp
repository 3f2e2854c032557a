#include "diagnosticsTesting.h"
#include "tests/testing/wineHost.h"

#include "support/uniqueResource.h"

#include <cstdio>
#include <set>
#include <sstream>
#include <thread>

namespace {

class logFileConcurrency : public logFileTest {};

std::vector<std::string> splitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    if (start != bytes.size())
        lines.push_back(bytes.substr(start)); // an unterminated tail is a torn record
    return lines;
}

// A file write that starts another log write from inside the write, as code called by the
// writer could.
struct reenteringFileWrite {
    static const wchar_t* path;
    static std::atomic<int> nestedAttempts;
    static BOOL WINAPI write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
        ++nestedAttempts;
        logFile::writeToLogFile(path, "nested\r\n");
        return ::WriteFile(file, data, size, written, overlapped);
    }
};
const wchar_t* reenteringFileWrite::path = nullptr;
std::atomic<int> reenteringFileWrite::nestedAttempts{0};

// A file write that signals it has started and waits until it may go on.
struct stallingFileWrite {
    static HANDLE started;
    static HANDLE proceed;
    static BOOL WINAPI write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
        ::SetEvent(started);
        ::WaitForSingleObject(proceed, 30000);
        return ::WriteFile(file, data, size, written, overlapped);
    }
};
HANDLE stallingFileWrite::started = nullptr;
HANDLE stallingFileWrite::proceed = nullptr;

constexpr int recordsPerProcess = 500;

void appendNumberedRecords(const wchar_t* path, const char* who) {
    for (int r = 0; r < recordsPerProcess; ++r) {
        char record[32];
        std::snprintf(record, sizeof(record), "%s %03d\r\n", who, r);
        logFile::writeToLogFile(path, record);
    }
    logFile::writeIndentToLogFile(path, 0); // closes
}

// A child run of this program that appends its records to the file the variable names.
constexpr const wchar_t* appendChildVariable = L"LOGSMITH_DIAGNOSTICS_APPEND_CHILD";

const bool appendChild = [] {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(appendChildVariable, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    logFile::enableLogging(TRUE);
    appendNumberedRecords(path, "child");
    ::ExitProcess(0);
}();

} // namespace

TEST_F(logFileConcurrency, recordsOfManyThreadsAreNeverTorn) {
    const std::wstring path = logPath();
    constexpr int threadCount = 4;
    constexpr int recordsPerThread = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < threadCount; ++t)
        writers.emplace_back([&path, t] {
            for (int r = 0; r < recordsPerThread; ++r) {
                char label[32];
                std::snprintf(label, sizeof(label), "thread%d record%03d", t, r);
                // Many pieces per record: label, value, heap, timestamp, thread id, CR LF.
                logFile::writeToLogFile(path.c_str(), label, static_cast<ULONGLONG>(r),
                                        static_cast<ULONGLONG>(t), DWORD(r), DWORD(t), FALSE);
            }
        });
    for (std::thread& writer : writers)
        writer.join();

    const std::vector<std::string> lines = splitLines(readFileBytes(path));
    ASSERT_FALSE(lines.empty());
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        int t = -1, r = -1;
        // The numbers are checked against their ranges next.
        // NOLINTNEXTLINE(cert-err34-c)
        ASSERT_EQ(2, std::sscanf(line.c_str(), "thread%d record%d", &t, &r)) << line;
        ASSERT_TRUE(t >= 0 && t < threadCount && r >= 0 && r < recordsPerThread) << line;
        const auto thread = static_cast<DWORD>(t);
        const auto record = static_cast<DWORD>(r);
        char expected[160];
        std::snprintf(expected, sizeof(expected),
                      "thread%d record%03d %s heap:%s timestamp:%s threadid:%s", t, r,
                      hex64Text(record).c_str(), hex64Text(thread).c_str(),
                      hex32Text(record).c_str(), hex32Text(thread).c_str());
        EXPECT_EQ(expected, line);
        EXPECT_TRUE(seen.insert(line).second) << "written twice: " << line;
    }
}

TEST_F(logFileConcurrency, aWriteStartedFromInsideAWriteIsDropped) {
    const std::wstring path = logPath();
    reenteringFileWrite::path = path.c_str();
    reenteringFileWrite::nestedAttempts = 0;
    {
        fileWriteSwap reentering(&reenteringFileWrite::write);
        logFile::writeToLogFile(path.c_str(), "outer\r\n");
    }
    EXPECT_EQ(1, reenteringFileWrite::nestedAttempts.load());
    EXPECT_EQ("outer\r\n", readFileBytes(path));

    logFile::writeToLogFile(path.c_str(), "after\r\n");
    EXPECT_EQ("outer\r\nafter\r\n", readFileBytes(path)) << "the guard is lifted afterwards";
}

TEST_F(logFileConcurrency, aWriteOfAnotherThreadDuringAWriteIsDroppedWithoutWaiting) {
    const std::wstring path = logPath();
    uniqueKernelHandle started(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    uniqueKernelHandle proceed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stallingFileWrite::started = started.get();
    stallingFileWrite::proceed = proceed.get();
    fileWriteSwap stalling(&stallingFileWrite::write);

    std::thread first([&] { logFile::writeToLogFile(path.c_str(), "first\r\n"); });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started.get(), 30000));

    uniqueKernelHandle secondDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread second([&] {
        logFile::writeToLogFile(path.c_str(), "second\r\n");
        ::SetEvent(secondDone.get());
    });
    // The second write must return while the first still holds the lock.
    const DWORD secondWait = ::WaitForSingleObject(secondDone.get(), 30000);
    ::SetEvent(proceed.get());
    first.join();
    second.join();
    EXPECT_EQ(WAIT_OBJECT_0, secondWait);
    EXPECT_EQ("first\r\n", readFileBytes(path));
}

TEST_F(logFileConcurrency, anotherProcessAppendingAtTheSameTimeLosesNothing) {
    if (runningUnderWine())
        GTEST_SKIP() << "Wine appends as a size query followed by a positioned write, so two "
                        "processes appending at once can overwrite each other's records there";
    const std::wstring path = logPath();
    std::thread child(
        [&] { EXPECT_EQ(0u, runChildOfThisProgram(appendChildVariable, path.c_str())); });
    appendNumberedRecords(path.c_str(), "parent");
    child.join();

    std::set<std::string> seen;
    for (const std::string& line : splitLines(readFileBytes(path)))
        EXPECT_TRUE(seen.insert(line).second) << line;
    for (const char* who : {"child", "parent"})
        for (int r = 0; r < recordsPerProcess; ++r) {
            char record[32];
            std::snprintf(record, sizeof(record), "%s %03d", who, r);
            EXPECT_EQ(1u, seen.count(record)) << record;
        }
}
