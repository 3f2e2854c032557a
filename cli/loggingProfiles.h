#pragma once
// The two profiles whose logging values the tool reads and writes, and what is stored in each:
// the raw values, whether they are well formed, and what the dialog would show for them.
#include "app/loggingSettings.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class loggingProfile { currentUser, defaultUser };

// The profiles a --scope names: "user", "default" or "all" (both, current user first).
std::vector<loggingProfile> profilesOfScope(const std::string& scope);
// "user" or "default".
const wchar_t* scopeName(loggingProfile profile);
// The product key's full name, as the registry editor writes it.
std::wstring productKeyFullName(loggingProfile profile);

// Mode names of the tool and their codes.
struct modeName {
    const char* name;
    DWORD code;
};
inline constexpr modeName modeNames[] = {
    {"target", logInTarget}, {"gui", logInGui}, {"both", logInTargetAndGui}, {"none", logNothing}};
// The name of a known code, or null.
const char* nameOfMode(DWORD code);

struct storedValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

// The text of a stored string, up to its first terminator.
std::wstring storedText(const storedValue& value);

// One value as stored, with an empty problem when it has the form the dialog writes.
struct valueReport {
    const wchar_t* name = nullptr;
    storedValue stored;
    std::wstring problem;
};

struct profileReport {
    loggingProfile profile = loggingProfile::currentUser;
    bool keyExists = false;
    valueReport mode;
    valueReport logFile;
    valueReport deleteFirst;
    // What the dialog would show (and Apply store) for this profile's values.
    loggingSettings shown;
    // No name could be read: shown.fileName is the profile's default log file.
    bool fileIsDefault = false;
    bool wellFormed() const {
        return mode.problem.empty() && logFile.problem.empty() && deleteFirst.problem.empty();
    }
};

// The log file a profile uses when it stores no name, with nothing created: for the current
// user the dialog's default; for .DEFAULT the same name in the application data folder of the
// LocalSystem account, whose profile folder the system's profile list gives. Empty when it
// cannot be found out: the process that logs then decides.
std::wstring defaultLogFile(loggingProfile profile);

// Reads a profile without creating or changing anything in the registry. Where no name is
// stored, shown.fileName is the profile's default log file (possibly empty).
profileReport inspectProfile(loggingProfile profile);

// When a key on the way to the product key is a registry link whose target is missing: a line
// that says so (without a line break); else empty.
std::wstring danglingLinkText(loggingProfile profile);

// The system's text for an error code, without a trailing line break.
std::wstring systemErrorText(DWORD code);

// Why a file cannot be put into folder, or empty when it can: the folder does not exist, is a
// file, has a path longer than the system accepts here, or cannot be reached.
std::wstring folderProblem(const std::wstring& folder);
