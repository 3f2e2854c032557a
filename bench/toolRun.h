#pragma once
// Runs the built logsmithctl as its own process for a benchmark: elapsed time, peak working set
// and exit code, with its output in a file.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <string>

struct measurement {
    bool ok = false;
    DWORD exitCode = 0;
    double seconds = 0;
    double peakMegabytes = 0;
};

inline double secondsBetween(LONGLONG start, LONGLONG end) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end - start) / static_cast<double>(frequency.QuadPart);
}

// The peak is sampled while the process runs: once it has ended its counters are gone.
inline measurement runTool(const std::wstring& commandLine, const std::wstring& outputFile) {
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

inline std::wstring builtTool() {
#ifdef LOGSMITHCTL_PATH
    return LOGSMITHCTL_PATH;
#else
    return L"logsmithctl.exe";
#endif
}
