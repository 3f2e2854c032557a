// logsmithctl dump-settings on a settings file of 10^6 records, text and --json, each run as its
// own process with its output in a file: elapsed time and peak working set, and the ratio of
// --json to text. The tool's path may be given as the first argument (default: the built one),
// the record count as the second.
//   scripts/wine-exec build/mingw/bench/dumpSettings_bench.exe
#include "bench/toolRun.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void append(std::string& image, const void* bytes, std::size_t size) {
    image.append(static_cast<const char*>(bytes), size);
}

// A quarter each: strings, 4-byte numbers, 8-byte numbers, 16 bytes of binary data; names in
// ascending order as the store saves them.
std::string settingsImage(std::uint32_t records) {
    std::string image;
    append(image, &records, sizeof(records));
    for (std::uint32_t i = 0; i < records; ++i) {
        wchar_t name[32];
        const int length = std::swprintf(name, 32, L"record_%08u", i);
        const std::uint32_t nameBytes =
            static_cast<std::uint32_t>((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t));
        append(image, &nameBytes, sizeof(nameBytes));
        append(image, name, nameBytes);
        const std::uint64_t number = 0x0123456789ABCDEFull * i;
        const wchar_t text[] = L"C:\\logs\\run \"quoted\".dmlog_x64";
        const unsigned char binary[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        const std::uint32_t type = i % 4 == 0 ? REG_SZ : i % 4 == 3 ? REG_BINARY : REG_DWORD;
        const std::uint32_t size = i % 4 == 0   ? sizeof(text)
                                   : i % 4 == 1 ? 4
                                   : i % 4 == 2 ? 8
                                                : sizeof(binary);
        const void* value = i % 4 == 0   ? static_cast<const void*>(text)
                            : i % 4 == 3 ? static_cast<const void*>(binary)
                                         : static_cast<const void*>(&number);
        append(image, &type, sizeof(type));
        append(image, &size, sizeof(size));
        append(image, value, size);
    }
    return image;
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring tool = argc > 1 ? argv[1] : builtTool();
    const std::uint32_t records =
        argc > 2 ? static_cast<std::uint32_t>(std::wcstoul(argv[2], nullptr, 10)) : 1000000u;
    wchar_t folder[MAX_PATH + 1] = L"";
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0)
        return 1;
    const std::wstring settings = std::wstring(folder) + L"dumpSettings_bench.settings";
    const std::wstring output = std::wstring(folder) + L"dumpSettings_bench.out";
    const std::string image = settingsImage(records);
    if (!writeFile(settings, image))
        return 1;
    std::printf("dump-settings of %u records (%.1f MB file)\n", records,
                static_cast<double>(image.size()) / (1024.0 * 1024.0));

    measurement modes[2];
    const wchar_t* const flags[2] = {L"", L" --json"};
    const char* const names[2] = {"text", "json"};
    for (int mode = 0; mode < 2; ++mode) {
        modes[mode] =
            runTool(L"\"" + tool + L"\" dump-settings \"" + settings + L"\"" + flags[mode], output);
        if (!modes[mode].ok) {
            std::printf("%s: the tool could not be started\n", names[mode]);
            return 1;
        }
        std::printf("%-5s exit %lu  %8.2f s  peak working set %8.1f MB\n", names[mode],
                    static_cast<unsigned long>(modes[mode].exitCode), modes[mode].seconds,
                    modes[mode].peakMegabytes);
    }
    std::printf("json / text: time %.2f, peak working set %.2f\n",
                modes[1].seconds / std::max(modes[0].seconds, 1e-9),
                modes[1].peakMegabytes / std::max(modes[0].peakMegabytes, 1e-9));
    ::DeleteFileW(settings.c_str());
    ::DeleteFileW(output.c_str());
    return 0;
}
