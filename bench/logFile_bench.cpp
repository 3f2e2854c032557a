// Appending many short narrow pieces through the log writer, against raw WriteFile calls of the
// same bytes on one open handle, in the same run. Prints both times and their ratio, against a
// plain write handle and against one opened for appending as the writer does.
#include "diagnostics/logFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int pieceCount = 100000;
constexpr int rounds = 5;

double secondsSince(LONGLONG start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start) / static_cast<double>(frequency.QuadPart);
}

LONGLONG counterNow() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::vector<std::string> makePieces() {
    std::vector<std::string> pieces;
    pieces.reserve(pieceCount);
    char text[32];
    for (int i = 0; i < pieceCount; ++i) {
        std::snprintf(text, sizeof(text), "piece %06d\r\n", i);
        pieces.emplace_back(text);
    }
    return pieces;
}

double timeWriter(const std::wstring& path, const std::vector<std::string>& pieces) {
    ::DeleteFileW(path.c_str());
    const LONGLONG start = counterNow();
    for (const std::string& piece : pieces)
        logFile::writeToLogFile(path.c_str(), piece.c_str());
    const double seconds = secondsSince(start);
    logFile::writeIndentToLogFile(path.c_str(), 0); // closes
    return seconds;
}

double timeRaw(const std::wstring& path, DWORD access, const std::vector<std::string>& pieces) {
    ::DeleteFileW(path.c_str());
    HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1.0;
    const LONGLONG start = counterNow();
    DWORD written = 0;
    for (const std::string& piece : pieces)
        ::WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
    const double seconds = secondsSince(start);
    ::CloseHandle(file);
    return seconds;
}

ULONGLONG fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

int wmain() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return 1;
    const std::wstring folder =
        std::wstring(temp) + L"logFile_bench-" + std::to_wstring(::GetCurrentProcessId());
    if (!::CreateDirectoryW(folder.c_str(), nullptr))
        return 1;
    const std::wstring writerPath = folder + L"\\writer.log";
    const std::wstring plainPath = folder + L"\\plain.log";
    const std::wstring appendPath = folder + L"\\append.log";

    const std::vector<std::string> pieces = makePieces();
    logFile::enableLogging(TRUE);

    // Best of several alternating rounds: the machine is shared.
    double writer = 1e9, plain = 1e9, append = 1e9;
    for (int round = 0; round < rounds; ++round) {
        writer = std::min(writer, timeWriter(writerPath, pieces));
        plain = std::min(plain, timeRaw(plainPath, GENERIC_WRITE, pieces));
        append = std::min(append, timeRaw(appendPath, FILE_APPEND_DATA, pieces));
    }

    const bool sameBytes =
        fileSize(writerPath) == fileSize(plainPath) && fileSize(plainPath) == fileSize(appendPath);
    std::printf("%d pieces, best of %d rounds, files %s (%llu bytes)\n", pieceCount, rounds,
                sameBytes ? "equal" : "DIFFER",
                static_cast<unsigned long long>(fileSize(writerPath)));
    std::printf("logFile::writeToLogFile        %8.1f ms\n", writer * 1000.0);
    std::printf("raw WriteFile, write handle    %8.1f ms   ratio %.2f\n", plain * 1000.0,
                writer / plain);
    std::printf("raw WriteFile, append handle   %8.1f ms   ratio %.2f\n", append * 1000.0,
                writer / append);
    // The writer opens for appending; what that mode costs by itself on this system:
    std::printf("append handle / write handle   ratio %.2f\n", append / plain);

    ::DeleteFileW(writerPath.c_str());
    ::DeleteFileW(plainPath.c_str());
    ::DeleteFileW(appendPath.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return sameBytes ? 0 : 1;
}
