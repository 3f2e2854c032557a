#include "diagnostics/logWriter.h"

#include "diagnostics/logFile.h"
#include "diagnostics/logFileState.h"

#include <new>
#include <string>

namespace {

constexpr const wchar_t* lockName = L"logWriter::append()";

template <typename Pieces>
void appendRecord(std::wstring_view path, BOOL close, const Pieces& pieces) {
    // Nothing to copy while logging is off.
    if (!logFileState::loggingOn() || path.find(L'\0') != std::wstring_view::npos)
        return;
    try {
        const std::wstring name(path);
        writeLogRecord(name.c_str(), lockName, close, pieces);
    } catch (const std::bad_alloc&) {
        // Diagnostics never fail their caller: without memory for the name the record is lost.
    }
}

int byteCount(std::size_t bytes) {
    return bytes <= 0x7FFFFFFF ? static_cast<int>(bytes) : -1;
}

void writeText(logFile& file, std::string_view text) {
    file.writeBytes(text.data(), byteCount(text.size()));
}

void writeText(logFile& file, std::wstring_view text) {
    file.writeBytes(text.data(),
                    text.size() <= 0x3FFFFFFF ? byteCount(text.size() * sizeof(wchar_t)) : -1);
}

void writeLabelled(logFile& file, std::string_view label, std::uint64_t value) {
    writeText(file, label);
    file.writeText(" ");
    file.writeHex64(value);
    file.writeText("\r\n");
}

} // namespace

void logWriter::append(std::wstring_view path, std::string_view text) {
    appendRecord(path, FALSE, [&](logFile& file) { writeText(file, text); });
}

void logWriter::appendAndClose(std::wstring_view path, std::string_view text) {
    appendRecord(path, TRUE, [&](logFile& file) { writeText(file, text); });
}

void logWriter::append(std::wstring_view path, std::wstring_view text) {
    appendRecord(path, FALSE, [&](logFile& file) { writeText(file, text); });
}

void logWriter::appendAndClose(std::wstring_view path, std::wstring_view text) {
    appendRecord(path, TRUE, [&](logFile& file) { writeText(file, text); });
}

void logWriter::append(std::wstring_view path, std::string_view label, std::uint64_t value) {
    appendRecord(path, FALSE, [&](logFile& file) { writeLabelled(file, label, value); });
}

void logWriter::appendAndClose(std::wstring_view path, std::string_view label,
                               std::uint64_t value) {
    appendRecord(path, TRUE, [&](logFile& file) { writeLabelled(file, label, value); });
}

void logWriter::close() {
    // As a write: never in the middle of one.
    if (!logFileState::loggingOn() || logFileState::writeInProgress.load() != 0)
        return;
    lastErrorKeeper keepError;
    stubSyncLock lock(&logLock, TRUE, L"logWriter::close()");
    theLogFile.closeLogFile();
}
