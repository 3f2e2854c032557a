#pragma once
// The tool's commands. Each returns the process exit code (cli/exitCodes.h). Usage errors are
// caught before a command runs.
#include "cli/exitCodes.h"
#include "cli/fileNames.h"
#include "cli/textOutput.h"

#include <optional>
#include <string>

struct showOptions {
    std::string scope = "all";
    bool json = false;
    bool includeNewUsers = false;
};
// Exit 1 when a profile could not be read (all-users: also without elevation).
int showCommand(const showOptions& options, textOutput& out, textOutput& err);
// The same, with the error output dropped.
int showCommand(const showOptions& options, textOutput& out);

struct setOptions {
    std::string scope = "all";
    bool scopeGiven = false;
    std::optional<std::string> mode;
    std::optional<std::wstring> file;
    std::optional<std::string> deleteFirst;
    // --for: the duration after which a task resets what was written.
    std::optional<std::wstring> forDuration;
    // Problems of the log file name refuse the set instead of being warnings.
    bool strict = false;
    bool includeNewUsers = false;
};
// Without --scope, set skips the .DEFAULT profile when the process is not elevated (Windows lets
// only an elevated administrator write it): the current user is written, the skip is reported
// on stdout and stderr, and the exit code stays 0, so a script can tell it from a failure (1).
// A scope given by name (default or all) is attempted and fails as any refused write; all-users
// is refused without elevation. A pending expiry of the scope written is cancelled, or with --for
// replaced (registered before anything is written).
int setCommand(const setOptions& options, textOutput& out, textOutput& err);
// Test seam: whether the process runs elevated. Null restores the token query; the previous
// query is returned.
using elevationQuery = bool (*)();
elevationQuery setElevationQuery(elevationQuery query);

struct exportOptions {
    std::wstring file;
    std::string scope = "all";
};
int exportCommand(const exportOptions& options, textOutput& out, textOutput& err);
// The text export writes for the profiles of a scope (lines end in CR LF); what is not stored
// is reported to err. values: how many value lines it holds.
std::wstring exportedText(const std::string& scope, int& values, textOutput& err);

struct checkOptions {
    std::string scope = "all";
    bool includeNewUsers = false;
    bool json = false;
    // The profiles must agree with each other.
    bool same = false;
    std::optional<std::string> expectMode;
    std::optional<std::wstring> expectFile;
    std::optional<std::string> expectDeleteFirst;
};
// Exit 0 when the profiles of the scope hold well-formed values (missing ones are not
// configured: logging off) and what the expectations name; 1 when not; 4 when a profile could
// not be read and nothing else was found.
int checkCommand(const checkOptions& options, textOutput& out, textOutput& err);

struct resetOptions {
    std::string scope = "all";
    bool scopeGiven = false;
    bool includeNewUsers = false;
};
// Removes the three values from the profiles of the scope, then the product key and the
// company key where they are left empty, and cancels a pending expiry of the scope. The
// elevation rule is set's.
int resetCommand(const resetOptions& options, textOutput& out, textOutput& err);

struct dumpOptions {
    std::wstring file;
    bool json = false;
};
int dumpSettingsCommand(const dumpOptions& options, textOutput& out, textOutput& err);

struct collectOptions {
    std::wstring archive;
    unsigned maxLogMb = 32;
    bool force = false;
};
// Exit 0 when the archive holds everything found, exitPartial when it was written without a log
// that is there but could not be read (the last line of the output names it), 1 when nothing was
// written.
int collectCommand(const collectOptions& options, textOutput& out, textOutput& err);
// Test seam: called with the written archive (open for reading and writing) before it is read
// back. Null for none; the previous hook is returned.
using collectArchiveHook = void (*)(HANDLE archive);
collectArchiveHook setCollectArchiveHook(collectArchiveHook hook);
