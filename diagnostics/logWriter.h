#pragma once
// The log writer for C++20 callers. Whether a write closes the log is said by its name, never by
// the type of its argument: append leaves the file open for the next write to the same file
// (the fast way to write many records), appendAndClose closes it afterwards. A write that names
// another file than the open one closes that one first. Records go to the same process-wide
// writer as logFile's (diagnostics/logFile.h), with its switches: nothing is written until
// logFile::enableLogging(TRUE), a write that starts while another is under way is dropped,
// and every write leaves the caller's last-error value as it found it. A path with a zero
// character inside names no file: the write is dropped.
#include <windows.h>

#include <cstdint>
#include <string_view>

class logWriter {
public:
    // The text's bytes as given (8-bit), or its UTF-16LE code units; no line end is added.
    static void append(std::wstring_view path, std::string_view text);
    static void appendAndClose(std::wstring_view path, std::string_view text);
    static void append(std::wstring_view path, std::wstring_view text);
    static void appendAndClose(std::wstring_view path, std::wstring_view text);
    // label, a blank, "0x" and 16 lower-case hex digits, CR LF.
    static void append(std::wstring_view path, std::string_view label, std::uint64_t value);
    static void appendAndClose(std::wstring_view path, std::string_view label, std::uint64_t value);
    // Closes the open log, whichever it is.
    static void close();
};
