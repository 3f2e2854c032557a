#include "diagnostics/logTimer.h"

#include "diagnostics/logFile.h"
#include "diagnostics/logFileState.h"

namespace {

LONGLONG readCounter() {
    LARGE_INTEGER now{};
    return ::QueryPerformanceCounter(&now) ? now.QuadPart : 0;
}

} // namespace

logTimer::logTimer() : logTimer(nullptr, nullptr) {}

logTimer::logTimer(const char* label) : logTimer(label, nullptr) {}

logTimer::logTimer(const char* label, const char* label2) : label(label), label2(label2) {
    lastErrorKeeper keepError;
    start = readCounter();
}

void logTimer::report() {
    lastErrorKeeper keepError;
    // Raw ticks, wrapping like the counter's own arithmetic.
    const auto elapsed =
        static_cast<unsigned __int64>(readCounter()) - static_cast<unsigned __int64>(start);
    const wchar_t* timingLog = logFileState::timingLogFileName.load();
    if (timingLog != nullptr) {
        if (label != nullptr) {
            logFile::writeToLogFile(timingLog, label);
            logFile::writeToLogFile(timingLog, " ");
        }
        if (label2 != nullptr) {
            logFile::writeToLogFile(timingLog, label2);
            logFile::writeToLogFile(timingLog, " ");
        }
        char ticks[24];
        logFile::formatHex(elapsed, ticks, nullptr, nullptr);
        logFile::writeToLogFile(timingLog, ticks);
        logFile::writeToLogFile(timingLog, "\r\n");
    }
    label = nullptr;
    label2 = nullptr;
}
