#pragma once
// The tool's exit codes, in one table: the help text prints it and the manual mirrors it.
// Commands whose job is a change (set, export, collect) report the change in their code; a
// report that could not be printed is noted on the error output. Commands whose job is output
// (show, check, dump-settings) fail when their output cannot be written.

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;
inline constexpr int exitPartial = 3;

struct exitCodeEntry {
    int code;
    const char* name;
    const char* meaning;
};

inline constexpr exitCodeEntry exitCodes[] = {
    {exitSuccess, "success", "done as asked; check: no findings"},
    {exitFailure, "failure",
     "not done: a value or file could not be written or read; check: findings"},
    {exitUsage, "usage", "unknown command or option, or a value that is not allowed; nothing done"},
    {exitPartial, "partial", "collect wrote the archive, but some logs could not be read"},
};
