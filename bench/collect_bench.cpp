// logsmithctl collect with two logs of 1 GiB of incompressible bytes, as the profiles' log files:
// once keeping all of them (more than a cabinet holds: refused), once keeping 960 MiB of each.
// Each run is its own process: elapsed time, peak working set and exit code. The tool's path may be
// given as the first argument (default: the built one), the size of each log in MiB as the second.
// The profiles' three values are put back as they were afterwards.
//   scripts/wine-exec build/mingw/bench/collect_bench.exe
#include "bench/toolRun.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* const productKey = L"Software\\Tarnwick\\Driftmarkx64";
const wchar_t* const valueNames[] = {L"debugDataTransfer", L"debugLogFile",
                                     L"debugLogFileWriteNewFile"};

// One profile's values as they were, to be put back.
struct savedProfile {
    HKEY root = nullptr;
    std::wstring key;
    bool keyExisted = false;
    struct value {
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
    } values[3];
};

savedProfile saveProfile(HKEY root, const std::wstring& key) {
    savedProfile saved;
    saved.root = root;
    saved.key = key;
    HKEY opened = nullptr;
    saved.keyExisted = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
    for (int index = 0; saved.keyExisted && index < 3; ++index) {
        auto& value = saved.values[index];
        DWORD size = 0;
        if (::RegQueryValueExW(opened, valueNames[index], nullptr, &value.type, nullptr, &size) !=
            ERROR_SUCCESS)
            continue;
        value.bytes.resize(size);
        value.present = ::RegQueryValueExW(opened, valueNames[index], nullptr, &value.type,
                                           value.bytes.data(), &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    if (opened != nullptr)
        ::RegCloseKey(opened);
    return saved;
}

void restoreProfile(const savedProfile& saved) {
    if (!saved.keyExisted) {
        ::RegDeleteTreeW(saved.root, saved.key.c_str());
        ::RegDeleteKeyW(saved.root, saved.key.c_str());
        return;
    }
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(saved.root, saved.key.c_str(), 0, KEY_WRITE, &opened) != ERROR_SUCCESS)
        return;
    for (int index = 0; index < 3; ++index) {
        const auto& value = saved.values[index];
        if (value.present)
            ::RegSetValueExW(opened, valueNames[index], 0, value.type, value.bytes.data(),
                             static_cast<DWORD>(value.bytes.size()));
        else
            ::RegDeleteValueW(opened, valueNames[index]);
    }
    ::RegCloseKey(opened);
}

bool storeLog(HKEY root, const std::wstring& key, const std::wstring& log) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const DWORD mode = 1; // the target writes the log
    const DWORD deleteFirst = 0;
    bool ok = ::RegSetValueExW(opened, valueNames[0], 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&mode), sizeof(mode)) == 0;
    ok = ok && ::RegSetValueExW(opened, valueNames[1], 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(log.c_str()),
                                static_cast<DWORD>((log.size() + 1) * sizeof(wchar_t))) == 0;
    ok = ok &&
         ::RegSetValueExW(opened, valueNames[2], 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&deleteFirst), sizeof(deleteFirst)) == 0;
    ::RegCloseKey(opened);
    return ok;
}

// Bytes no compressor can shrink, from a fast generator.
bool writeNoise(const std::wstring& path, std::uint64_t mebibytes, std::uint64_t seed) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = seed | 1;
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < mebibytes; ++done) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        DWORD written = 0;
        ok = ::WriteFile(file, block.data(), 1 << 20, &written, nullptr) && written == 1 << 20;
    }
    ::CloseHandle(file);
    return ok;
}

// The last line the tool printed.
std::string lastLine(const std::wstring& outputFile) {
    const HANDLE file = ::CreateFileW(outputFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    std::string text(8192, '\0');
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
        ::CloseHandle(file);
    }
    text.resize(read);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t start = text.find_last_of('\n');
    return start == std::string::npos ? text : text.substr(start + 1);
}

// The folder count of a cabinet's header (16 bits at offset 26); 0 without a cabinet.
unsigned folderCount(const std::wstring& cabinet) {
    const HANDLE file = ::CreateFileW(cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    unsigned char header[28] = {};
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ::ReadFile(file, header, sizeof(header), &read, nullptr);
        ::CloseHandle(file);
    }
    return read == sizeof(header) ? static_cast<unsigned>(header[26] | (header[27] << 8)) : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring tool = argc > 1 ? argv[1] : builtTool();
    const std::uint64_t logMebibytes = argc > 2 ? std::wcstoull(argv[2], nullptr, 10) : 1024;
    wchar_t folder[MAX_PATH + 1] = L"";
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0)
        return 1;
    const std::wstring base = std::wstring(folder) + L"collect_bench";
    const std::wstring logs[2] = {base + L"-user.log", base + L"-service.log"};
    const std::wstring archive = base + L".cab";
    const std::wstring output = base + L".out";
    std::printf("collect of two logs of %llu MiB of incompressible bytes\n",
                static_cast<unsigned long long>(logMebibytes));
    if (!writeNoise(logs[0], logMebibytes, 0x9E3779B97F4A7C15ull) ||
        !writeNoise(logs[1], logMebibytes, 0xC2B2AE3D27D4EB4Full)) {
        std::printf("the logs could not be written\n");
        return 1;
    }
    const savedProfile user = saveProfile(HKEY_CURRENT_USER, productKey);
    const savedProfile service = saveProfile(HKEY_USERS, std::wstring(L".DEFAULT\\") + productKey);
    int status = 0;
    if (storeLog(HKEY_CURRENT_USER, productKey, logs[0]) &&
        storeLog(HKEY_USERS, std::wstring(L".DEFAULT\\") + productKey, logs[1])) {
        for (const wchar_t* keep : {L"1024", L"960"}) {
            ::DeleteFileW(archive.c_str());
            const measurement run = runTool(
                L"\"" + tool + L"\" collect \"" + archive + L"\" --max-log-mb " + keep, output);
            if (!run.ok) {
                std::printf("the tool could not be started\n");
                status = 1;
                break;
            }
            const unsigned folders = folderCount(archive);
            WIN32_FILE_ATTRIBUTE_DATA written{};
            const bool placed =
                ::GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &written);
            const double archiveMegabytes =
                placed ? static_cast<double>((static_cast<ULONGLONG>(written.nFileSizeHigh) << 32) |
                                             written.nFileSizeLow) /
                             (1024.0 * 1024.0)
                       : 0.0;
            std::printf("--max-log-mb %-5ls exit %lu  %8.2f s  peak working set %8.1f MB  "
                        "archive %8.1f MB in %u folders\n  %s\n",
                        keep, static_cast<unsigned long>(run.exitCode), run.seconds,
                        run.peakMegabytes, archiveMegabytes, folders, lastLine(output).c_str());
        }
    } else {
        std::printf("the profiles could not be set\n");
        status = 1;
    }
    restoreProfile(user);
    restoreProfile(service);
    for (const std::wstring& file : {logs[0], logs[1], archive, output})
        ::DeleteFileW(file.c_str());
    return status;
}
