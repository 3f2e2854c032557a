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
};
int showCommand(const showOptions& options, textOutput& out);

struct setOptions {
    std::string scope = "all";
    bool scopeGiven = false;
    std::optional<std::string> mode;
    std::optional<std::wstring> file;
    std::optional<std::string> deleteFirst;
};
// Without --scope, set skips the .DEFAULT profile when the process is not elevated (Windows lets
// only an elevated administrator write it): the current user is written, the skip is reported
// on stdout and stderr, and the exit code stays 0, so a script can tell it from a failure (1).
// A scope given by name (default or all) is attempted and fails as any refused write.
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

int checkCommand(textOutput& out);

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
int collectCommand(const collectOptions& options, textOutput& out, textOutput& err);
