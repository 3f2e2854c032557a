#pragma once
// Starting another program from a test.

#include <windows.h>

#include <string>

// CreateProcessW on a copy of the command line (the call may write into it). A start that fails
// with ERROR_INTERNAL_ERROR is tried again a few times: Wine reports that when the new process
// dies inside its own start-up on a loaded machine, before any of the program's code has run.
// Every other failure returns FALSE at once, its reason left in GetLastError.
BOOL startChildProcess(const wchar_t* program, const std::wstring& commandLine, BOOL inheritHandles,
                       DWORD flags, STARTUPINFOW& startup, PROCESS_INFORMATION& child);
