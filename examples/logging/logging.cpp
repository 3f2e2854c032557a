// Logging example: the log writer, an error record, the stopwatch and a lock.
#include "diagnostics/logFile.h"
#include "diagnostics/logTimer.h"
#include "diagnostics/stubSyncObject.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

void printFile(const wchar_t* name) {
    std::ifstream file(name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    std::printf("--- %ls ---\n%s", name, text.c_str());
}

} // namespace

int main() {
    const wchar_t* logName = L"example.log";

    // guide: log-switch
    logFile::enableLogging(TRUE);         // every write is dropped until logging is switched on
    if (!logFile::deleteLogFile(logName)) // start with an empty log
        std::printf("%ls could not be deleted: records follow its old content\n", logName);
    // guide end

    // guide: log-records
    logFile::writeToLogFile(logName, "example started\r\n");
    logFile::writeToLogFile(logName, "items", 3ull, FALSE);
    logFile::writeToLogFile(logName, static_cast<DWORD>(31));
    logFile::writeErrorToLogFile(logName, ERROR_FILE_NOT_FOUND, "opening", "colours.ini");
    logFile::writeToLogFile(logName, "\r\n"); // an error record ends without a line end
    logFile::writeToLogFile(logName, -5);     // this form closes the file afterwards
    // guide end
    printFile(logName);

    // guide: log-timer
    const wchar_t* timingName = L"timing.log"; // kept by pointer: it must outlive the timers
    logFile::deleteLogFile(timingName);
    logFile::setTimingLogFile(timingName);

    std::vector<int> numbers(100000);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = static_cast<int>((i * 7919) % numbers.size());
    logTimer timer("sorting", "100000 numbers");
    std::sort(numbers.begin(), numbers.end());
    timer.report(); // appends the labels and the elapsed counter ticks to timing.log
    // guide end
    printFile(timingName);

    // guide: lock
    stubCriticalSection counterLock;
    long counter = 0;
    auto count = [&] {
        for (int i = 0; i < 10000; ++i) {
            stubSyncLock guard(&counterLock, TRUE, nullptr); // released when guard goes
            ++counter;
        }
    };
    std::thread first(count);
    std::thread second(count);
    first.join();
    second.join();
    std::printf("counter: %ld\n", counter);
    // guide end
    return counter == 20000 ? 0 : 1;
}
