// Entry point of Logsmith.exe.
#include "app/DmDebugRegistryApp.h"
#include "support/startupOrder.h"

#include <windows.h>

// The one application object, constructed after the library's process-wide objects.
LOGSMITH_STARTUP_ORDER(startupOrder::application) CDmDebugRegistryApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                    int showCommand) {
    return AfxWinMain(instance, previousInstance, commandLine, showCommand);
}
