// Entry point of Logsmith.exe.
#include "app/DmDebugRegistryApp.h"
#include "platform/comApartment.h"
#include "platform/systemModules.h"
#include "support/startupOrder.h"

#include <windows.h>

// The one application object, constructed after the library's process-wide objects (app:
// level 5, above settings).
enum : int { applicationRank = startupOrder::rank(5, 1) };
CDmDebugRegistryApp theApp LOGSMITH_STARTUP_ORDER(applicationRank);

// The parameters carry the names of the system header's declaration.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    // Not restricted to the system folder like logsmithctl: the file dialog loads shell
    // extensions that look for their own DLLs beside them.
    removeCurrentFolderFromDllSearch();
    // The file dialog and Open Directory's ShellExecuteW run on this thread.
    const comApartment apartment;
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
