// Saves two different stores to one file in turn, for ever, until it is killed. Usage:
//   settingsSaveLoop <file> <event name>
// The named event is set once the first save has succeeded.
#include "tests/settings/saveLoop/crashStores.h"

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    readWriteSettingsToFile stores[2];
    fillCrashStore(stores[0], 0);
    fillCrashStore(stores[1], 1);
    HANDLE started = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    for (unsigned round = 0;; ++round) {
        const bool saved = stores[round % 2].save(argv[1]) != 0;
        if (saved && started != nullptr) {
            ::SetEvent(started);
            ::CloseHandle(started);
            started = nullptr;
        }
    }
}
