// Settings example: the same values through the settings file and through the registry.
#include "../consoleText.h"
#include "containers/CVector.h"
#include "settings/readWriteSettingsToFile.h"
#include "settings/readWriteSettingsToRegistry.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// guide: write-values
// One function writes to either backend through the common interface.
bool writeValues(readWriteSettings& settings) {
    const wchar_t* trace = nullptr; // no trace file for failed writes
    CVector<unsigned int> widths;
    widths.Add(120);
    widths.Add(80);
    widths.Add(200);
    return settings.writeInt(trace, L"windowWidth", 800) &&
           settings.writeDouble(trace, L"zoom", 1.25) &&
           settings.writeInt64(trace, L"lastRun", 1700000000123) &&
           settings.writeCString(trace, L"title", CString(L"My program")) &&
           settings.writeStringList(trace, L"recentFiles", {L"a.txt", L"", L"c.txt"}) &&
           settings.writeUIntArray(trace, widths, L"columnWidths");
}
// guide end

// guide: read-values
// Each variable holds its default before the read; a failed read leaves it alone.
void printValues(readWriteSettings& settings) {
    int width = 640;
    double zoom = 1.0;
    std::int64_t lastRun = 0;
    CString title = L"(no title)";
    std::vector<CString> recent;
    CVector<unsigned int> widths;
    settings.readInt(L"windowWidth", width);
    settings.readDouble(L"zoom", zoom);
    settings.readInt64(L"lastRun", lastRun);
    settings.readCString(L"title", title);
    settings.readStringList(L"recentFiles", recent);
    settings.readUIntArray(widths, L"columnWidths");

    std::printf("  windowWidth %d, zoom %.2f, lastRun %lld, title \"%s\"\n", width, zoom,
                static_cast<long long>(lastRun), utf8(title.GetString()).c_str());
    std::printf("  recentFiles:");
    for (const CString& file : recent)
        std::printf(" \"%s\"", utf8(file.GetString()).c_str());
    std::printf("\n  columnWidths:");
    for (unsigned i = 0; i < widths.GetCount(); ++i)
        std::printf(" %u", widths.GetAt(i));
    std::printf("\n");
}
// guide end

int useSettingsFile() {
    const wchar_t* fileName = L"example.settings";
    DeleteFileW(L"example.settings.bak"); // left by an earlier run

    // guide: file-save
    {
        readWriteSettingsToFile settings;
        settings.setFileName(fileName);
        // Nothing reaches the disk before flush (or the destructor, which flushes too).
        if (!writeValues(settings) || !settings.flush()) {
            std::printf("saving %s failed: error %lu\n", utf8(fileName).c_str(), GetLastError());
            return 1;
        }
        std::printf("saved %u records to %s\n", static_cast<unsigned>(settings.getRecordCount()),
                    utf8(fileName).c_str());
    }
    // guide end

    // guide: file-load
    readWriteSettingsToFile loaded;
    // load does not keep the name: until setFileName, flush returns 1 and writes nothing, and
    // neither does the destructor.
    if (!loaded.load(fileName)) {
        std::printf("loading %s failed: error %lu\n", utf8(fileName).c_str(), GetLastError());
        return 1;
    }
    std::printf("loaded %u records:\n", static_cast<unsigned>(loaded.getRecordCount()));
    printValues(loaded);
    // guide end

    // guide: damaged-load
    // Cut the file short inside its last record, as a disk fault might.
    std::filesystem::resize_file(fileName, std::filesystem::file_size(fileName) - 3);
    readWriteSettingsToFile damaged;
    damaged.load(fileName); // keeps the records before the damaged one
    std::printf("after the damage %u records loaded\n",
                static_cast<unsigned>(damaged.getRecordCount()));
    damaged.writeDouble(nullptr, L"zoom", 1.5);
    // The file was damaged: this save first keeps it as example.settings.bak.
    if (!damaged.save(fileName)) {
        std::printf("saving %s failed: error %lu\n", utf8(fileName).c_str(), GetLastError());
        return 1;
    }
    std::printf("backup kept: %s\n",
                std::filesystem::exists(L"example.settings.bak") ? "yes" : "no");
    // guide end
    return 0;
}

int useRegistry() {
    // guide: registry
    const wchar_t* keyName = L"Software\\Logsmith settings example";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::printf("cannot create HKEY_CURRENT_USER\\%s\n", utf8(keyName).c_str());
        return 1;
    }
    int result = 0;
    {
        readWriteSettingsToRegistry registry;
        registry.attachKey(key); // borrowed: the store never closes it
        if (writeValues(registry)) {
            std::printf("read back from the registry:\n");
            printValues(registry);
        } else {
            std::printf("writing to the registry failed: error %lu\n", GetLastError());
            result = 1;
        }
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"lastRun", nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
        std::printf("lastRun is a %s value of %lu bytes\n",
                    type == REG_DWORD ? "REG_DWORD" : "other", size);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, keyName);
    // guide end
    HKEY gone = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &gone);
    if (status == ERROR_SUCCESS)
        RegCloseKey(gone);
    const bool removed = status == ERROR_FILE_NOT_FOUND;
    std::printf("example key removed: %s\n", removed ? "yes" : "no");
    return removed ? result : 1;
}

} // namespace

int main() {
    const utf8Console console;
    const int fileResult = useSettingsFile();
    const int registryResult = useRegistry();
    return fileResult != 0 ? fileResult : registryResult;
}
