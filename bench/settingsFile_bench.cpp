// Settings file save and load against floors measured in the same run: one WriteFile / ReadFile
// of the same bytes, and building a std::map of names to byte vectors from the same image in
// memory; and, per value, against the system's profile (.ini) functions. Prints times and ratios.
//   scripts/wine-exec build/mingw/bench/settingsFile_bench.exe
#include "settings/fileBuffer.h"
#include "settings/readWriteSettingsToFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

LONGLONG counterNow() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double secondsSince(LONGLONG start) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counterNow() - start) / static_cast<double>(frequency.QuadPart);
}

// A step that failed would make every figure after it meaningless: stop without printing them.
void require(bool succeeded, const char* step) {
    if (succeeded)
        return;
    std::fprintf(stderr, "settingsFile_bench: %s failed (error %lu); no figures\n", step,
                 ::GetLastError());
    std::exit(1);
}

template <typename F> double bestOf(int rounds, F&& work) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const LONGLONG start = counterNow();
        work();
        best = std::min(best, secondsSince(start));
    }
    return best;
}

std::wstring valueName(int i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"value_%d", i);
    return name;
}

// Half 4-byte numbers, half 20-character strings.
void fillStore(readWriteSettingsToFile& store, int records) {
    const CString text(L"twenty characters ok");
    for (int i = 0; i < records; ++i) {
        const std::wstring name = valueName(i);
        if (i % 2 == 0)
            store.writeDword(nullptr, name.c_str(), static_cast<DWORD>(i));
        else
            store.writeCString(nullptr, name.c_str(), text);
    }
}

std::string imageOf(const readWriteSettingsToFile& store) {
    fileBuffer buffer;
    require(store.saveToBuffer(buffer) != 0, "building the image");
    return std::string(reinterpret_cast<const char*>(buffer.getData()), buffer.getSize());
}

void writeRaw(const std::wstring& path, const std::string& bytes, bool flush) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    require(file != INVALID_HANDLE_VALUE, "creating the raw file");
    DWORD written = 0;
    require(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size() && (!flush || ::FlushFileBuffers(file)),
            "writing the raw file");
    ::CloseHandle(file);
}

void readRaw(const std::wstring& path, std::vector<char>& into) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    require(file != INVALID_HANDLE_VALUE, "opening the raw file");
    DWORD got = 0;
    require(::ReadFile(file, into.data(), static_cast<DWORD>(into.size()), &got, nullptr) &&
                got == into.size(),
            "reading the raw file");
    ::CloseHandle(file);
}

std::uint32_t get32(const char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// The plain-container way of taking the same image apart.
std::size_t buildStdMap(const std::string& image) {
    std::map<std::wstring, std::vector<std::uint8_t>> map;
    const char* at = image.data();
    const std::uint32_t count = get32(at);
    at += 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t nameBytes = get32(at);
        std::wstring name(reinterpret_cast<const wchar_t*>(at + 4), nameBytes / 2 - 1);
        at += 4 + nameBytes + 4;
        const std::uint32_t valueSize = get32(at);
        at += 4;
        map.emplace(std::move(name), std::vector<std::uint8_t>(at, at + valueSize));
        at += valueSize;
    }
    return map.size();
}

struct sizeResult {
    double save, load, write, writeFlushed, read, stdMap;
};

sizeResult measure(const std::wstring& folder, int records, int rounds) {
    readWriteSettingsToFile store;
    fillStore(store, records);
    const std::string image = imageOf(store);
    const std::wstring path = folder + L"\\store.bin";
    const std::wstring rawPath = folder + L"\\raw.bin";
    std::vector<char> readBack(image.size());
    sizeResult r{};
    r.save = bestOf(rounds, [&] { require(store.save(path.c_str()) != 0, "save"); });
    r.load = bestOf(rounds, [&] {
        readWriteSettingsToFile loaded;
        require(loaded.load(path.c_str()) != 0 && loaded.getRecordCount() == store.getRecordCount(),
                "load");
    });
    r.write = bestOf(rounds, [&] { writeRaw(rawPath, image, false); });
    r.writeFlushed = bestOf(rounds, [&] { writeRaw(rawPath, image, true); });
    r.read = bestOf(rounds, [&] { readRaw(rawPath, readBack); });
    r.stdMap = bestOf(rounds, [&] { buildStdMap(image); });
    ::DeleteFileW(path.c_str());
    ::DeleteFileW(rawPath.c_str());
    return r;
}

// Writing and reading 1000 values, through the store (with its save and load) and through the
// profile functions, which keep each value in an .ini file.
void compareWithProfile(const std::wstring& folder) {
    constexpr int values = 1000;
    const std::wstring path = folder + L"\\profile.bin";
    const std::wstring ini = folder + L"\\profile.ini";
    const double storeWrite = bestOf(3, [&] {
        readWriteSettingsToFile store;
        fillStore(store, values);
        require(store.save(path.c_str()) != 0, "save");
    });
    const double storeRead = bestOf(3, [&] {
        readWriteSettingsToFile store;
        require(store.load(path.c_str()) != 0, "load");
        DWORD number = 0;
        CString text;
        for (int i = 0; i < values; ++i) {
            const std::wstring name = valueName(i);
            if (i % 2 == 0)
                store.readDword(name.c_str(), number);
            else
                store.readCString(name.c_str(), text);
        }
    });
    const double profileWrite = bestOf(1, [&] {
        for (int i = 0; i < values; ++i) {
            const std::wstring name = valueName(i);
            const std::wstring value =
                i % 2 == 0 ? std::to_wstring(i) : std::wstring(L"twenty characters ok");
            ::WritePrivateProfileStringW(L"settings", name.c_str(), value.c_str(), ini.c_str());
        }
    });
    const double profileRead = bestOf(1, [&] {
        wchar_t value[64];
        for (int i = 0; i < values; ++i)
            ::GetPrivateProfileStringW(L"settings", valueName(i).c_str(), L"", value, 64,
                                       ini.c_str());
    });
    std::printf("\n%d values, per value:\n", values);
    std::printf("  write: store %8.3f us   profile %9.1f us   profile/store %8.0f\n",
                storeWrite * 1e6 / values, profileWrite * 1e6 / values, profileWrite / storeWrite);
    std::printf("  read:  store %8.3f us   profile %9.1f us   profile/store %8.0f\n",
                storeRead * 1e6 / values, profileRead * 1e6 / values, profileRead / storeRead);
    ::DeleteFileW(path.c_str());
    ::DeleteFileW(ini.c_str());
}

} // namespace

int wmain() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return 1;
    const std::wstring folder =
        std::wstring(temp) + L"settingsFile_bench-" + std::to_wstring(::GetCurrentProcessId());
    if (!::CreateDirectoryW(folder.c_str(), nullptr))
        return 1;

    std::printf(
        "times in ms, best of several rounds. Floors: write = one WriteFile of the image\n"
        "(write+fl with FlushFileBuffers, as a save must), read = one ReadFile, std::map =\n"
        "a std::map of names to byte vectors built from the image in memory.\n");
    std::printf("%8s %8s %8s %8s %8s %8s %8s | %10s %10s %8s %8s %8s\n", "records", "save", "load",
                "write", "write+fl", "read", "std::map", "save/(wf+m)", "load/(r+m)", "save/wf",
                "save/m", "load/m");
    double previousSave = 0, previousLoad = 0;
    for (const int records : {1000, 100000, 1000000}) {
        const sizeResult r = measure(folder, records, records >= 1000000 ? 3 : 7);
        std::printf("%8d %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f | %11.2f %10.2f %8.2f %8.2f %8.2f\n",
                    records, r.save * 1e3, r.load * 1e3, r.write * 1e3, r.writeFlushed * 1e3,
                    r.read * 1e3, r.stdMap * 1e3, r.save / (r.writeFlushed + r.stdMap),
                    r.load / (r.read + r.stdMap), r.save / r.writeFlushed, r.save / r.stdMap,
                    r.load / r.stdMap);
        if (records == 1000000)
            std::printf("growth from 100000 to 1000000 records: save x%.1f, load x%.1f\n",
                        r.save / previousSave, r.load / previousLoad);
        previousSave = r.save;
        previousLoad = r.load;
    }
    compareWithProfile(folder);
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
