// logsmithctl dump-settings on a settings file of 10^6 records, text and --json, each run as its
// own process with its output in a file: elapsed time and peak working set, and the ratio of
// --json to text. The tool's path may be given as the first argument (default: the built one),
// the record count as the second.
//   scripts/wine-exec build/mingw/bench/dumpSettings_bench.exe
#include <windows.h>

#include <psapi.h>

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
        const std::uint32_t nameBytes = static_cast<std::uint32_t>((length + 1) * sizeof(wchar_t));
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

struct measurement {
    bool ok = false;
    DWORD exitCode = 0;
    double seconds = 0;
    double peakMegabytes = 0;
};

double secondsBetween(LONGLONG start, LONGLONG end) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end - start) / static_cast<double>(frequency.QuadPart);
}

// The peak is sampled while the process runs: once it has ended its counters are gone.
measurement runTool(const std::wstring& commandLine, const std::wstring& outputFile) {
    measurement result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const HANDLE output = ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return result;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION child{};
    std::wstring line = commandLine;
    LARGE_INTEGER start{};
    ::QueryPerformanceCounter(&start);
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &child);
    ::CloseHandle(output);
    if (!started)
        return result;
    SIZE_T peak = 0;
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(child.hProcess, 5);
        PROCESS_MEMORY_COUNTERS counters{};
        if (waited == WAIT_TIMEOUT &&
            ::GetProcessMemoryInfo(child.hProcess, &counters, sizeof(counters)))
            peak = std::max({peak, counters.PeakWorkingSetSize, counters.WorkingSetSize});
        if (waited != WAIT_TIMEOUT)
            break;
    }
    LARGE_INTEGER end{};
    ::QueryPerformanceCounter(&end);
    ::GetExitCodeProcess(child.hProcess, &result.exitCode);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    result.ok = true;
    result.seconds = secondsBetween(start.QuadPart, end.QuadPart);
    result.peakMegabytes = static_cast<double>(peak) / (1024.0 * 1024.0);
    return result;
}

std::wstring builtTool() {
#ifdef LOGSMITHCTL_PATH
    return LOGSMITHCTL_PATH;
#else
    return L"logsmithctl.exe";
#endif
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
