#include "support/closeHandle.h"
#include "support/uniqueResource.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

constexpr DWORD statusInvalidHandle = 0xC0000008;

int g_closeCalls = 0;
DWORD g_raise = 0;

// Stands in for CloseHandle under a debugger: raises instead of returning, or fails quietly.
BOOL WINAPI fakeCloser(HANDLE) {
    ++g_closeCalls;
    if (g_raise != 0)
        ::RaiseException(g_raise, 0, 0, nullptr);
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

// Raises on another thread while the guard is armed on this one.
BOOL WINAPI closerRaisingElsewhere(HANDLE) {
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            ::RaiseException(statusInvalidHandle, 0, 0, nullptr);
            return 0;
        },
        nullptr, 0, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return TRUE;
}

// Sees the exceptions that got past the guard (registered after it, so called after it).
LONG g_passedOn = 0;
DWORD g_passedOnCode = 0;
LONG CALLBACK countPassedOn(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (code != statusInvalidHandle && code != g_raise)
        return EXCEPTION_CONTINUE_SEARCH;
    ++g_passedOn;
    g_passedOnCode = code;
    return EXCEPTION_CONTINUE_EXECUTION;
}

class closeHandleGuard : public ::testing::Test {
protected:
    void SetUp() override {
        g_closeCalls = 0;
        g_raise = 0;
        g_passedOn = 0;
        // Arms the guard's handler before ours, so ours runs after it.
        closeHandleIfValid(nullptr);
        EXPECT_EQ(1, closeHandleIfValid(::CreateEventW(nullptr, FALSE, FALSE, nullptr)));
        m_handler = ::AddVectoredExceptionHandler(0, &countPassedOn);
        setHandleCloser(&fakeCloser);
    }
    void TearDown() override {
        setHandleCloser(nullptr);
        ::RemoveVectoredExceptionHandler(m_handler);
    }
    void* m_handler = nullptr;
};

HANDLE fakeHandle() {
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
}

} // namespace

TEST_F(closeHandleGuard, givesOneForNullInvalidAndNormallyClosedHandles) {
    EXPECT_EQ(1, closeHandleIfValid(nullptr));
    EXPECT_EQ(1, closeHandleIfValid(INVALID_HANDLE_VALUE));
    EXPECT_EQ(0, g_closeCalls) << "null and INVALID_HANDLE_VALUE are left alone";

    ::SetLastError(0);
    EXPECT_EQ(1, closeHandleIfValid(fakeHandle())) << "whatever the close returned";
    EXPECT_EQ(1, g_closeCalls);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ::GetLastError())
        << "the close's own error stays visible";
}

TEST_F(closeHandleGuard, absorbsTheInvalidHandleExceptionAndReportsIt) {
    g_raise = statusInvalidHandle;
    EXPECT_EQ(0, closeHandleIfValid(fakeHandle()));
    EXPECT_EQ(1, g_closeCalls);
    EXPECT_EQ(0, g_passedOn) << "the guard consumed the exception";

    // Disarmed again: the same exception outside the call is not the guard's business.
    ::RaiseException(statusInvalidHandle, 0, 0, nullptr);
    EXPECT_EQ(1, g_passedOn);

    g_raise = 0;
    EXPECT_EQ(1, closeHandleIfValid(fakeHandle()));
}

TEST_F(closeHandleGuard, passesOnExceptionsThatCannotBeResumedSafely) {
    g_raise = EXCEPTION_ACCESS_VIOLATION;
    EXPECT_EQ(1, closeHandleIfValid(fakeHandle()));
    EXPECT_EQ(1, g_passedOn);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), g_passedOnCode);
}

TEST_F(closeHandleGuard, guardsOnlyTheClosingThread) {
    setHandleCloser(&closerRaisingElsewhere);
    EXPECT_EQ(1, closeHandleIfValid(fakeHandle()));
    EXPECT_EQ(1, g_passedOn) << "another thread's exception is not the guard's to absorb";
}

TEST(closeHandleIfValidOnRealHandles, closesTheHandle) {
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(1, closeHandleIfValid(event));
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(event, &flags)) << "the handle is closed";
}

namespace {

// A close that fails and says so through the last-error value, as closing a stale handle does.
int g_heldCloses = 0;
struct failingCloseTraits {
    static int empty() noexcept { return 0; }
    static void close(int) noexcept {
        ++g_heldCloses;
        ::SetLastError(ERROR_INVALID_HANDLE);
    }
};
using failingHolder = uniqueResource<int, failingCloseTraits>;

} // namespace

TEST(uniqueResourceClose, keepsTheCallersLastError) {
    void (*const closings[])(failingHolder&) = {
        [](failingHolder& held) { held.reset(); },
        [](failingHolder& held) { held.reset(8); },
        [](failingHolder& held) { held.put(); },
        [](failingHolder& held) { held = failingHolder(9); },
        [](failingHolder& held) { failingHolder(held.release()); }, // the destructor
    };
    for (int row = 0; row < 5; ++row) {
        g_heldCloses = 0;
        failingHolder holder(7);
        ::SetLastError(ERROR_DISK_FULL);
        closings[row](holder);
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), ::GetLastError()) << row;
        EXPECT_EQ(1, g_heldCloses) << row;
        holder.release();
    }
}
