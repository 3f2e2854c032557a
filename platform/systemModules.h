#pragma once
// Loading system DLLs so that a DLL planted beside the program (an unzipped download, a shared
// folder) or in the current directory is never taken in their place.
#ifndef RC_INVOKED
#include <windows.h>

// Makes the system folder the only place the process looks for DLLs it loads by name (the
// program's own folder and the current directory are no longer searched). Call it first thing
// in a program that shows no shell UI (logsmithctl). It binds every DLL in the process, also
// the shell extensions that a file dialog loads from their own folders, which then fail to
// load theirs. False where the system cannot restrict the search.
bool restrictDllSearchToSystemFolder();

// Takes only the current directory out of the search for DLLs loaded by name. Call it first
// thing in a program that shows shell UI (Logsmith.exe: the file dialog, Explorer) instead of
// the call above; load optional system DLLs with loadSystemModule. The program's own folder is
// still searched first for what system DLLs load by name, so such a program belongs in a
// folder only administrators may write (Program Files). False when the system refuses.
bool removeCurrentFolderFromDllSearch();

// A system DLL by its bare name, from the system folder only; null (GetLastError says why) when
// it cannot be loaded.
HMODULE loadSystemModule(const wchar_t* name);

#endif
