#pragma once
// Stopwatch over the performance counter; report() appends the elapsed raw ticks to the timing
// log set with logFile::setTimingLogFile.
#include <windows.h>

class logTimer {
public:
    logTimer();
    explicit logTimer(const char* label);
    logTimer(const char* label, const char* label2);

    // label " ", label2 " " (each when given), the elapsed ticks as "0x" and 16 digits, CR LF;
    // then forgets both labels. Nothing is written while no timing log is set.
    void report();

private:
    const char* label = nullptr;
    const char* label2 = nullptr;
    // 0 when the counter could not be read.
    LONGLONG start = 0;
};
