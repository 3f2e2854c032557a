#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

// A crash (a trap of the checked build, an access violation) ends the test program at once with
// the exception's code, instead of waiting for a debugger or an error report window.
LONG WINAPI endOnUnhandledException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    std::fprintf(stderr, "unhandled exception 0x%08lX at %p\n", record.ExceptionCode,
                 record.ExceptionAddress);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

// -municode programs start at wmain; GoogleTest's own main library only provides main.
int wmain(int argc, wchar_t** argv) {
    ::SetErrorMode(::GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(endOnUnhandledException);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
