#pragma once
// Closing a kernel handle that may be invalid without the close ending the process.
#ifndef RC_INVOKED
#include <windows.h>

// Closes a handle unless it is null or INVALID_HANDLE_VALUE; 0 when closing raised an
// invalid-handle exception (as it does under a debugger), else 1.
int closeHandleIfValid(HANDLE handle);

// Test seam: the close call behind closeHandleIfValid. Null restores CloseHandle; the previous
// closer is returned.
using handleCloser = BOOL(WINAPI*)(HANDLE);
handleCloser setHandleCloser(handleCloser closer);

#endif
