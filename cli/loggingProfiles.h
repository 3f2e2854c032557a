#pragma once
// The profiles whose logging values the tool reads and writes (the current user, .DEFAULT, and
// on request every person's profile and the template new accounts are made from), and what is
// stored in each: the raw values, whether they are well formed, and what the dialog would show
// for them.
#include "app/loggingSettings.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class profileKind {
    currentUser, // HKEY_CURRENT_USER
    defaultUser, // HKEY_USERS\.DEFAULT, LocalSystem's profile
    person,      // HKEY_USERS\<SID>, loaded or mounted from the profile's hive file
    newUsers,    // the default user template, mounted from its hive file
};

// One profile: the key below root that holds its Software key, and whose it is.
struct loggingProfile {
    profileKind kind = profileKind::currentUser;
    HKEY root = HKEY_CURRENT_USER;
    // Empty for HKEY_CURRENT_USER; .DEFAULT, a SID, or the name a hive file is mounted under.
    std::wstring base;
    // A person's SID.
    std::wstring sid;
    // DOMAIN\name of a person, empty when it cannot be looked up.
    std::wstring account;
    // The hive file a profile was mounted from.
    std::wstring hiveFile;

    static const loggingProfile currentUser;
    static const loggingProfile defaultUser;
    friend bool operator==(const loggingProfile&, const loggingProfile&) = default;
};
inline const loggingProfile loggingProfile::currentUser{};
inline const loggingProfile loggingProfile::defaultUser{
    profileKind::defaultUser, HKEY_USERS, L".DEFAULT", {}, {}, {}};

// The scopes a command takes.
inline const std::vector<std::string> profileScopes = {"user", "default", "all", "all-users"};
inline constexpr const char* allUsersScope = "all-users";

// The profiles a --scope names: "user", "default" or "all" (both, current user first). Every
// person's profile ("all-users") is reached through visitProfiles, which mounts hives.
std::vector<loggingProfile> profilesOfScope(const std::string& scope);

// Calls visit for each profile of the scope; withNewUsers adds the default user template to
// all-users. A hive file is mounted for its call and unmounted after; one that cannot be mounted
// is passed with the reason in mountError (ERROR_SUCCESS otherwise), and the profile is not
// there to open. ERROR_SUCCESS, or why the machine's profiles could not be listed.
[[nodiscard]] DWORD
visitProfiles(const std::string& scope, bool withNewUsers,
              const std::function<void(const loggingProfile&, DWORD mountError)>& visit);

// "user", "default", "all-users" (a person) or "new-users" (the template).
const wchar_t* scopeName(const loggingProfile& profile);
// Whose profile it is, for a person or the template: "DOMAIN\name (SID)"; else empty.
std::wstring ownerText(const loggingProfile& profile);
// The product key's full name, as the registry editor writes it.
std::wstring productKeyFullName(const loggingProfile& profile);
// The product key's path below the profile's root.
std::wstring productKeyPath(const loggingProfile& profile);

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
    loggingProfile profile;
    bool keyExists = false;
    // Why the product key could not be opened when it may exist (access denied, a hive that is
    // not loaded); ERROR_SUCCESS when it was read or is not there.
    DWORD readError = ERROR_SUCCESS;
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
    // No value is present in a malformed form; missing values are not configured (logging off).
    bool malformed() const {
        for (const valueReport* value : {&mode, &logFile, &deleteFirst})
            if (value->stored.present && !value->problem.empty())
                return true;
        return false;
    }
};

// The log file a profile uses when it stores no name, with nothing created: for the current
// user the dialog's default; for .DEFAULT (and a person, and the template) the same name in the
// application data folder of the LocalSystem account (that person, the template), whose profile
// folder the system's profile list gives. Empty when it cannot be found out: the process that
// logs then decides.
std::wstring defaultLogFile(const loggingProfile& profile);

// Reads a profile without creating or changing anything in the registry. Where no name is
// stored, shown.fileName is the profile's default log file (possibly empty).
profileReport inspectProfile(const loggingProfile& profile);

// When a key on the way to the product key is a registry link whose target is missing: a line
// that says so (without a line break); else empty.
std::wstring danglingLinkText(const loggingProfile& profile);

// The system's text for an error code, without a trailing line break.
std::wstring systemErrorText(DWORD code);

// Why a file cannot be put into folder, or empty when it can: the folder does not exist, is a
// file, has a path longer than the system accepts here, or cannot be reached.
std::wstring folderProblem(const std::wstring& folder);
