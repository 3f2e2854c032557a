#include "support/closeHandle.h"

namespace {

// Structured exceptions that closing a handle raises and that can be resumed safely: the
// raise returns to CloseHandle, which then fails. Faults (access violations and the like) are
// left to the next handler, because resuming them would run the faulting instruction again.
constexpr DWORD statusInvalidHandle = 0xC0000008;
constexpr DWORD statusHandleNotClosable = 0xC0000235;

BOOL WINAPI systemCloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

handleCloser s_closeHandle = &systemCloseHandle;

// Written once, before the handler that reads it is registered.
DWORD s_guardSlot = TLS_OUT_OF_INDEXES;

// g++ has no __try/__except: a vectored handler absorbs the close exceptions of a thread while
// that thread's slot points at a guard flag.
class closeGuard {
public:
    static closeGuard& instance() {
        static closeGuard guard;
        return guard;
    }

    // Runs the close with the guard armed; true when an exception was absorbed.
    bool close(HANDLE handle) {
        if (m_handler == nullptr) {
            s_closeHandle(handle);
            return false;
        }
        volatile LONG caught = 0;
        void* const outer = ::TlsGetValue(s_guardSlot);
        ::TlsSetValue(s_guardSlot, const_cast<LONG*>(&caught));
        s_closeHandle(handle);
        const DWORD closeError = ::GetLastError();
        ::TlsSetValue(s_guardSlot, outer);
        ::SetLastError(closeError);
        return caught != 0;
    }

private:
    closeGuard() {
        s_guardSlot = ::TlsAlloc();
        if (s_guardSlot != TLS_OUT_OF_INDEXES)
            m_handler = ::AddVectoredExceptionHandler(1, &closeGuard::absorb);
    }

    static LONG CALLBACK absorb(EXCEPTION_POINTERS* exception) {
        const DWORD lastError = ::GetLastError();
        LONG verdict = EXCEPTION_CONTINUE_SEARCH;
        auto* caught = static_cast<volatile LONG*>(::TlsGetValue(s_guardSlot));
        const EXCEPTION_RECORD* record = exception->ExceptionRecord;
        if (caught != nullptr && record != nullptr &&
            (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0 &&
            (record->ExceptionCode == statusInvalidHandle ||
             record->ExceptionCode == statusHandleNotClosable)) {
            *caught = 1;
            verdict = EXCEPTION_CONTINUE_EXECUTION;
        }
        ::SetLastError(lastError);
        return verdict;
    }

    void* m_handler = nullptr;
};

} // namespace

int closeHandleIfValid(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return 1;
    return closeGuard::instance().close(handle) ? 0 : 1;
}

handleCloser setHandleCloser(handleCloser closer) {
    const handleCloser previous = s_closeHandle;
    s_closeHandle = closer != nullptr ? closer : &systemCloseHandle;
    return previous;
}
