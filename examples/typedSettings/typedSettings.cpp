// Typed settings example: a settings file and a registry key through settings/settingsStore.h,
// every type it stores, and a save that fails.
#include "../consoleText.h"
#include "settings/settingsStore.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t* fileName = L"typed-caf\u00e9.settings";

int writeSettingsFile() {
    // guide: typed-write
    settingsFile settings(fileName); // loads the file and keeps its name for save()
    if (settings.loadResult().error() == ERROR_FILE_NOT_FOUND)
        std::printf("%s: no file yet, starting empty\n", utf8(fileName).c_str());
    // Every set says whether it worked; ignoring its result is a compiler warning.
    if (!settings.set(L"title", L"My program") || !settings.set(L"windowWidth", 800) ||
        !settings.set(L"flags", std::uint32_t{0x11}) ||
        !settings.set(L"lastRun", std::int64_t{1700000000123}) ||
        !settings.set(L"bytesSent", std::uint64_t{1} << 40) || !settings.set(L"zoom", 1.25) ||
        !settings.set(L"maximized", true) ||
        !settings.set(L"recentFiles", std::vector<std::wstring>{L"a.txt", L"\u00fcber.txt"})) {
        std::printf("a value was refused\n");
        return 1;
    }
    // Nothing reaches the disk before save (or the destructor, which saves too).
    if (const settingsResult saved = settings.save(); !saved) {
        std::printf("saving failed: error %lu\n", saved.error());
        return 1;
    }
    std::printf("saved to %s\n", utf8(settings.path()).c_str());
    // guide end
    return 0;
}

void readSettingsFile() {
    // guide: typed-read
    const settingsFile settings(fileName);
    // value() gives the fallback for a setting that is missing or of another type.
    const std::wstring title = settings.value(L"title", L"(no title)");
    const int width = settings.value(L"windowWidth", 640);
    const std::uint32_t flags = settings.value(L"flags", std::uint32_t{0});
    const double zoom = settings.value(L"zoom", 1.0);
    const bool maximized = settings.value(L"maximized", false);
    std::printf("title \"%s\", windowWidth %d, flags 0x%x, zoom %.2f, maximized %s\n",
                utf8(title).c_str(), width, flags, zoom, maximized ? "yes" : "no");
    // get() tells a missing setting apart.
    if (const std::optional<std::int64_t> lastRun = settings.get<std::int64_t>(L"lastRun"))
        std::printf("lastRun %lld\n", static_cast<long long>(*lastRun));
    if (const auto sent = settings.get<std::uint64_t>(L"bytesSent"))
        std::printf("bytesSent %llu\n", static_cast<unsigned long long>(*sent));
    if (!settings.get<double>(L"lastZoom"))
        std::printf("lastZoom: not stored\n");
    std::printf("recentFiles:");
    for (const std::wstring& file : settings.value(L"recentFiles", std::vector<std::wstring>{}))
        std::printf(" \"%s\"", utf8(file).c_str());
    std::printf("\n");
    // guide end

    // guide: typed-operations
    // The same store through the fifty operations: the typed values are stored as they are.
    int viaOperations = 0;
    settings.operations()->readInt(L"windowWidth", viaOperations);
    std::printf("windowWidth through readInt: %d\n", viaOperations);
    // guide end
}

int useRegistry() {
    // guide: typed-registry
    const wchar_t* keyPath = L"Software\\Logsmith typed settings example";
    {
        // For writing: missing keys are created. The keys close when the object goes.
        registrySettings key(HKEY_CURRENT_USER, keyPath, settingsAccess::write);
        if (const settingsResult opened = key.openResult(); !opened) {
            std::printf("cannot open HKEY_CURRENT_USER\\%s: error %lu\n", utf8(keyPath).c_str(),
                        opened.error());
            return 1;
        }
        if (!key.set(L"title", L"From the registry") || !key.set(L"windowWidth", 1024)) {
            std::printf("writing to the registry failed\n");
            return 1;
        }
    }
    {
        // For reading: nothing is created, and a missing key fails with ERROR_FILE_NOT_FOUND.
        registrySettings key(HKEY_CURRENT_USER, keyPath, settingsAccess::read);
        std::printf("registry: title \"%s\", windowWidth %d\n",
                    utf8(key.value(L"title", L"(none)")).c_str(), key.value(L"windowWidth", 0));
        const settingsResult refused = key.set(L"windowWidth", 1);
        std::printf("writing through a reader: error %lu\n", refused.error());
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath);
    // guide end
    return 0;
}

void failToSave() {
    // guide: typed-failed-save
    settingsFile settings(L"no such folder\\typed.settings");
    if (!settings.set(L"windowWidth", 800))
        return;
    if (const settingsResult saved = settings.save(); !saved)
        std::printf("saving %s failed: error %lu\n", utf8(settings.path()).c_str(), saved.error());
    // The destructor tries once more; its failure goes to the debugger output only.
    // guide end
}

} // namespace

int main() {
    const utf8Console console;
    DeleteFileW(fileName); // a fresh start on every run
    if (writeSettingsFile() != 0)
        return 1;
    readSettingsFile();
    failToSave();
    return useRegistry();
}
