#pragma once
// The tool's exit codes, in one table: the help text prints it and the manual mirrors it.
// Commands whose job is a change (set, export, collect) report the change in their code; a
// report that could not be printed is noted on the error output. Commands whose job is output
// (show, check, dump-settings) fail when their output cannot be written.

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;
inline constexpr int exitPartial = 3;
inline constexpr int exitUnreadable = 4;

struct exitCodeEntry {
    int code;
    const char* name;
    const char* meaning;
};

inline constexpr exitCodeEntry exitCodes[] = {
    {exitSuccess, "success", "done as asked; check: compliant"},
    {exitFailure, "failure",
     "not done: a value or file could not be written or read; check: not compliant or "
     "malformed"},
    {exitUsage, "usage", "unknown command or option, or a value that is not allowed; nothing done"},
    {exitPartial, "partial", "collect wrote the archive, but some logs could not be read"},
    {exitUnreadable, "unreadable",
     "check: a profile could not be read (access denied, hive not loaded, no elevation for "
     "all-users) and nothing else was found"},
};
