// Entry point of Logsmith.exe.
#include "app/DmDebugRegistryApp.h"
#include "platform/systemModules.h"
#include "support/startupOrder.h"

#include <windows.h>

// The one application object, constructed after the library's process-wide objects.
CDmDebugRegistryApp theApp LOGSMITH_STARTUP_ORDER(startupOrder::application);

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showCommand) {
    restrictDllSearchToSystemFolder();
    return AfxWinMain(instance, previousInstance, commandLine, showCommand);
}
