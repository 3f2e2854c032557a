// Helper process for the settings-file tests.
//   settingsSaveLoop <file> <event name>
//     Saves two different stores to one file in turn, for ever, until it is killed. The named
//     event is set once the first save has succeeded.
//   settingsSaveLoop race <file> <rounds> <value name>
//     Loads the file, changes one value and saves it, rounds times, as a second process racing
//     it would. The exit code is the number of loads that failed (at most 255).
#include "tests/settings/saveLoop/crashStores.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

int raceRounds(const wchar_t* file, int rounds, const wchar_t* valueName) {
    int failedLoads = 0;
    for (int round = 0; round < rounds; ++round) {
        readWriteSettingsToFile store;
        if (!store.load(file))
            ++failedLoads;
        store.writeInt(nullptr, valueName, round);
        store.save(file);
    }
    return std::min(failedLoads, 255);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wcscmp(argv[1], L"race") == 0)
        return raceRounds(argv[2], _wtoi(argv[3]), argv[4]);
    if (argc != 3)
        return 256;
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
