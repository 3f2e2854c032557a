#pragma once
// Loading system DLLs so that a DLL planted beside the program (an unzipped download, a shared
// folder) or in the current directory is never taken in their place.
#ifndef RC_INVOKED
#include <windows.h>

// Makes the system folder the only place the process looks for DLLs it loads by name (the
// program's own folder and the current directory are no longer searched). Call it first thing
// in every program. False where the system cannot restrict the search.
bool restrictDllSearchToSystemFolder();

// A system DLL by its bare name, from the system folder only; null (GetLastError says why) when
// it cannot be loaded.
HMODULE loadSystemModule(const wchar_t* name);

#endif
