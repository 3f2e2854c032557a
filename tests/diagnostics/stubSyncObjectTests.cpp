#include "diagnosticsTesting.h"

#include "diagnostics/stubSyncObject.h"
#include "support/uniqueResource.h"

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace {

// A lock over a manual-reset event: taken when the event is set. Counts the calls it sees.
class eventLock : public stubSyncObject {
public:
    eventLock() { handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    using stubSyncObject::lock;
    BOOL lock(DWORD timeoutMs) override {
        ++locks;
        return stubSyncObject::lock(timeoutMs);
    }
    BOOL unlock(DWORD count, void* data) override {
        ++pairUnlocks;
        return stubSyncObject::unlock(count, data);
    }
    BOOL unlock() override {
        ++unlocks;
        return unlockResult;
    }

    int locks = 0;
    int unlocks = 0;
    int pairUnlocks = 0;
    BOOL unlockResult = TRUE;
};

std::string traceLine(const char* event, const std::string& name, const char* handleDigits) {
    char head[32];
    std::snprintf(head, sizeof(head), "%lu: ", static_cast<unsigned long>(::GetCurrentThreadId()));
    return head + std::string(event) + name + " 0x" + handleDigits + "\r\n";
}

std::string handleDigits(HANDLE handle) {
    char digits[24];
    std::snprintf(digits, sizeof(digits), "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    return digits;
}

class lockTracing : public logFileTest {
protected:
    void SetUp() override {
        logFileTest::SetUp();
        enableLockTracing(TRUE);
    }
    void TearDown() override {
        enableLockTracing(FALSE);
        logFileTest::TearDown();
    }
};

} // namespace

TEST(stubSyncObject, baseLockWaitsOnItsHandleAndClosesIt) {
    HANDLE original = nullptr;
    {
        eventLock lock;
        original = lock.handle;
        ASSERT_NE(nullptr, original);
        EXPECT_FALSE(lock.lock(0));
        ::SetEvent(lock.handle);
        EXPECT_TRUE(lock.lock(0));
        EXPECT_TRUE(lock.lock()) << "through the timed form";
        EXPECT_EQ(3, lock.locks);
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(original, &flags)) << "closed by the destructor";
}

TEST(stubCriticalSection, isRecursiveAndWaitsWithoutLimitWhateverTheTimeout) {
    stubCriticalSection section;
    EXPECT_EQ(nullptr, section.handle);
    ASSERT_TRUE(section.lock());
    ASSERT_TRUE(section.lock(0)) << "the owner takes it again";

    std::atomic<int> taken{0};
    std::thread other([&] {
        taken = section.lock(0) ? 1 : 2;
        section.unlock();
    });
    // While we hold it the other thread cannot have returned, even with a zero timeout.
    ::Sleep(50);
    EXPECT_EQ(0, taken.load());
    EXPECT_TRUE(section.unlock());
    EXPECT_TRUE(section.unlock());
    other.join();
    EXPECT_EQ(1, taken.load());
    EXPECT_TRUE(section.unlock(5, nullptr)) << "the pair form has nothing to release";
}

TEST(stubSyncLock, holdsUntilReleasedOnceAndReportsWhatItHolds) {
    eventLock object;
    ::SetEvent(object.handle);
    {
        stubSyncLock lock(&object, TRUE, nullptr);
        EXPECT_EQ(1, object.locks);
        EXPECT_TRUE(lock.release());
        EXPECT_TRUE(lock.release()) << "a second release does nothing";
        EXPECT_EQ(1, object.unlocks);
        EXPECT_TRUE(lock.acquire(0));
    }
    EXPECT_EQ(2, object.unlocks) << "the destructor releases what is held";

    stubSyncLock notNow(&object, FALSE, nullptr);
    EXPECT_EQ(2, object.locks);
    EXPECT_TRUE(notNow.acquire(0));
    EXPECT_TRUE(notNow.release(7, nullptr));
    EXPECT_EQ(1, object.pairUnlocks);
    EXPECT_EQ(2, object.unlocks);
}

TEST(stubSyncLock, failedLockOrUnlockIsReportedAndTheGuardedCodeStillRuns) {
    eventLock object; // never signalled
    stubSyncLock lock(&object, FALSE, nullptr);
    EXPECT_FALSE(lock.acquire(0));
    EXPECT_TRUE(lock.release()) << "nothing held, nothing to release";
    EXPECT_EQ(0, object.unlocks);

    ::SetEvent(object.handle);
    object.unlockResult = FALSE;
    EXPECT_TRUE(lock.acquire(0));
    EXPECT_FALSE(lock.release()) << "still held after a failed unlock";
    object.unlockResult = TRUE;
    EXPECT_TRUE(lock.release());
}

TEST(stubSyncLock, nullObjectHoldsNothing) {
    stubSyncLock lock(nullptr, TRUE, L"none");
    EXPECT_FALSE(lock.acquire(INFINITE));
    EXPECT_TRUE(lock.release());
}

TEST(stubSyncLock, isLastThreadIsFalseWhileAnotherThreadRuns) {
    stubSyncLock resolve(nullptr, FALSE, nullptr);
    uniqueKernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread other([&] { ::WaitForSingleObject(stop.get(), INFINITE); });
    EXPECT_FALSE(isLastThread());
    ::SetEvent(stop.get());
    other.join();
}

namespace {

// Faults seen on the last thread after the shutting-down mark, as bits; 0 when all is well.
int shutdownFaults() {
    eventLock object; // never signalled: a real lock would fail
    enableLockTracing(TRUE);
    debugOutputCapture capture;
    setProcessShuttingDown();
    stubSyncLock resolve(nullptr, FALSE, nullptr);
    if (!isLastThread())
        return 64; // a real lock would block for good: stop here
    int faults = 0;
    {
        stubSyncLock lock(&object, TRUE, L"shutdown");
        faults |= lock.acquire(0) ? 0 : 2;
        faults |= lock.release() ? 0 : 4;
    }
    faults |= object.locks == 0 && object.unlocks == 0 ? 0 : 8;
    faults |= capture.lines().empty() ? 0 : 16;

    // With a second thread alive the real lock is used again.
    uniqueKernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread other([&] { ::WaitForSingleObject(stop.get(), INFINITE); });
    {
        stubSyncLock lock(&object, FALSE, nullptr);
        lock.acquire(0);
        faults |= object.locks == 1 ? 0 : 32;
    }
    ::SetEvent(stop.get());
    other.join();
    return faults;
}

// The shutting-down mark cannot be undone, so it is set in a child run of this program.
constexpr const wchar_t* shutdownChildVariable = L"LOGSMITH_DIAGNOSTICS_SHUTDOWN_CHILD";

const bool shutdownChild = [] {
    if (::GetEnvironmentVariableW(shutdownChildVariable, nullptr, 0) != 0)
        ::ExitProcess(static_cast<UINT>(shutdownFaults()));
    return false;
}();

} // namespace

TEST(stubSyncLock, lastThreadAfterShutdownCountsLocksAsTakenWithoutTouchingThem) {
    EXPECT_EQ(0u, runChildOfThisProgram(shutdownChildVariable, L"1"))
        << "bits: 2 acquire, 4 release, 8 real lock touched, "
           "16 traced, 32 real lock not used beside another "
           "thread, 64 not the last thread";
}

TEST_F(lockTracing, oneLogWriteTracesLockedAndUnlockedWithTheSameNameAndANullHandle) {
    debugOutputCapture capture;
    logFile::writeToLogFile(logPath().c_str(), "x");
    const std::string name = "logFile::writeToLogFile 2()";
    const std::vector<std::string> expected = {
        traceLine("Locked    ", name, "0000000000000000"),
        traceLine(" Unlocked ", name, "0000000000000000"),
    };
    EXPECT_EQ(expected, capture.lines());
}

TEST_F(lockTracing, eachWriteNamesItsOwnOperation) {
    const std::wstring path = logPath();
    const struct {
        std::function<void()> write;
        const char* name;
    } rows[] = {
        {[&] { logFile::writeIndentToLogFile(path.c_str(), 1); },
         "logFile::writeIndentToLogFile()"},
        {[&] { logFile::writeToLogFile(path.c_str(), 1); }, "logFile::writeToLogFile 3()"},
        {[&] { logFile::writeToLogFile(path.c_str(), DWORD{1}); }, "logFile::writeToLogFile 3()"},
        {[&] { logFile::writeToLogFile(path.c_str(), 1ull); }, "logFile::writeToLogFile 4()"},
        {[&] { logFile::writeToLogFile(path.c_str(), L"w"); }, "logFile::writeToLogFile 5()"},
        {[&] { logFile::writeToLogFile(stubString(path.c_str()), stubString(L"w")); },
         "logFile::writeToLogFile 6()"},
        {[&] { logFile::writeToLogFile(path.c_str(), "l", 1ull); }, "logFile::writeToLogFile 7()"},
        {[&] { logFile::writeToLogFile(path.c_str(), "l", 1ull, FALSE); },
         "logFile::writeToLogFile 8()"},
        {[&] { logFile::writeToLogFile(path.c_str(), L"l", 1ull, FALSE); },
         "logFile::writeToLogFile 9()"},
        {[&] { logFile::writeToLogFile(path.c_str(), "l", 1ull, 2ull, 3u, 4u, FALSE); },
         "logFile::writeToLogFile 10()"},
        {[&] { logFile::writeToLogFile(path.c_str(), L"l", 1ull, 2ull, 3ull, 3u, 4u, FALSE); },
         "logFile::writeToLogFile 11()"},
        {[&] { logFile::writeThreadId(path.c_str()); }, "logFile::writeThreadId()"},
        {[&] { logFile::optimisedOpenWriteClose(path.c_str(), "n"); },
         "logFile::optimisedOpenWriteClose 1()"},
        {[&] { logFile::optimisedOpenWriteClose(path.c_str(), L"w"); },
         "logFile::optimisedOpenWriteClose 2()"},
        {[&] { logFile::writeToLogFileFixedLength(path.c_str(), "ab", 2); },
         "logFile::writeToLogFileFixedLength()"},
        {[&] { logFile::writeToLogFileBytes(path.c_str(), "ab", 2); },
         "logFile::writeToLogFileBytes()"},
        {[&] { logFile::writeToLogFileANSI(path.c_str(), L"a"); }, "logFile::writeToLogFileANSI()"},
        {[&] { logFile::flushFileBuffers(); }, "logFile::flushFileBuffers()"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        debugOutputCapture capture;
        row.write();
        const std::vector<std::string> expected = {
            traceLine("Locked    ", row.name, "0000000000000000"),
            traceLine(" Unlocked ", row.name, "0000000000000000"),
        };
        EXPECT_EQ(expected, capture.lines());
    }
}

TEST_F(lockTracing, unnamedLocksAreSilentAndAFailedLockIsAlwaysReported) {
    debugOutputCapture capture;
    stubCriticalSection section;
    { stubSyncLock lock(&section, TRUE, nullptr); }
    wchar_t token[logFile::tokenBufferLength];
    logFile::getFunctionToken(L"tracedName", token); // map locks have no name
    EXPECT_TRUE(capture.lines().empty());

    {
        stubSyncLock none(nullptr, TRUE, nullptr);
        stubSyncLock named(nullptr, TRUE, L"named");
    }
    const std::vector<std::string> expected = {
        traceLine("FAILED TO Lock a CS! ", "(null)", "0000000000000000"),
        traceLine("FAILED TO Lock a CS! ", "named", "0000000000000000"),
    };
    EXPECT_EQ(expected, capture.lines());
}

TEST_F(lockTracing, aLockThatIsNotObtainedIsStillTracedWithItsHandle) {
    eventLock object; // never signalled
    const std::string digits = handleDigits(object.handle);
    debugOutputCapture capture;
    {
        stubSyncLock lock(&object, FALSE, L"event");
        EXPECT_FALSE(lock.acquire(0));
        ::SetEvent(object.handle);
        EXPECT_TRUE(lock.acquire(0));
        EXPECT_TRUE(lock.release(1, nullptr)) << "the pair form is never traced";
    }
    const std::vector<std::string> expected = {
        traceLine("Locked    ", "event", digits.c_str()),
        traceLine("Locked    ", "event", digits.c_str()),
    };
    EXPECT_EQ(expected, capture.lines());
}

TEST_F(lockTracing, tracingOffWritesNothing) {
    enableLockTracing(FALSE);
    debugOutputCapture capture;
    logFile::writeToLogFile(logPath().c_str(), "x");
    stubSyncLock failed(nullptr, TRUE, L"x");
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(lockTracing, anOverlongNameIsCutToFitTheTraceBuffer) {
    const std::wstring longName(3000, L'n');
    stubCriticalSection section;
    debugOutputCapture capture;
    { stubSyncLock lock(&section, TRUE, longName.c_str()); }
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(2u, lines.size());
    for (const std::string& line : lines) {
        EXPECT_EQ(static_cast<size_t>(lockTraceBufferLength - 1), line.size());
        const std::string tail = " 0x0000000000000000\r\n";
        ASSERT_GT(line.size(), tail.size());
        EXPECT_EQ(tail, line.substr(line.size() - tail.size()));
        EXPECT_EQ('n', line[line.size() - tail.size() - 1]);
    }
}
