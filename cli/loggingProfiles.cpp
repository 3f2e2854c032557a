#include "cli/loggingProfiles.h"
#include "cli/machineProfiles.h"
#include "cli/textOutput.h"

#include "platform/fileFunctions.h"

#include "app/productRegistryKeys.h"
#include "settings/registryKeyChain.h"
#include "support/uniqueResource.h"

#include <cstring>

namespace {

const wchar_t* rootName(const loggingProfile& profile) {
    return profile.root == HKEY_USERS ? L"HKEY_USERS\\" : L"HKEY_CURRENT_USER\\";
}

storedValue queryValue(HKEY key, const wchar_t* name) {
    storedValue value;
    DWORD size = 0;
    // A value may change between the size query and the read: try again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (::RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            return {};
        value.bytes.resize(size);
        const LSTATUS status =
            ::RegQueryValueExW(key, name, nullptr, &value.type, value.bytes.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.bytes.resize(size);
            value.present = true;
            return value;
        }
        if (status != ERROR_MORE_DATA)
            return {};
    }
    return {};
}

std::wstring typeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return L"REG_NONE";
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_BINARY:
        return L"REG_BINARY";
    case REG_DWORD:
        return L"REG_DWORD";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_DWORD_BIG_ENDIAN:
        return L"REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return L"REG_LINK";
    case REG_RESOURCE_LIST:
        return L"REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR:
        return L"REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST:
        return L"REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD:
        return L"REG_QWORD";
    default:
        return std::to_wstring(type);
    }
}

// The dialog writes both numbers as REG_DWORD of 4 bytes.
std::wstring numberProblem(const storedValue& value) {
    if (!value.present)
        return L"missing";
    if (value.type != REG_DWORD)
        return L"wrong type " + typeName(value.type);
    if (value.bytes.size() != sizeof(DWORD))
        return L"wrong size " + std::to_wstring(value.bytes.size()) + L" bytes";
    return {};
}

DWORD storedNumber(const storedValue& value) {
    DWORD number = 0;
    std::memcpy(&number, value.bytes.data(), sizeof(number));
    return number;
}

// Apply writes the flag as 0 or 1; the dialog shows any other number as 1.
std::wstring flagProblem(const storedValue& value) {
    std::wstring problem = numberProblem(value);
    if (problem.empty() && storedNumber(value) > 1)
        problem = std::to_wstring(storedNumber(value)) + L", not 0 or 1";
    return problem;
}

// The dialog writes the name as REG_SZ with its one terminator at the end.
std::wstring textProblem(const storedValue& value) {
    if (!value.present)
        return L"missing";
    if (value.type != REG_SZ)
        return L"wrong type " + typeName(value.type);
    const std::size_t size = value.bytes.size();
    if (size % sizeof(wchar_t) != 0 || size < sizeof(wchar_t) || value.bytes[size - 1] != 0 ||
        value.bytes[size - 2] != 0)
        return L"not a terminated string (" + std::to_wstring(size) + L" bytes)";
    const std::size_t textBytes = storedText(value).size() * sizeof(wchar_t);
    if (textBytes + sizeof(wchar_t) != size)
        return L"a string with " + std::to_wstring(size - textBytes - sizeof(wchar_t)) +
               L" bytes after its terminator";
    return {};
}

bool isFullPath(const std::wstring& path) {
    const bool drive =
        path.size() > 2 &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && path[2] == L'\\';
    return drive || path.starts_with(L"\\\\");
}

// An account's profile folder (the default user's: the list's Default value) as the system's
// profile list gives it, with its environment variables expanded; empty when it is not known.
std::wstring profileFolder(const std::wstring& sid) {
    uniqueHkey key;
    const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        sid.empty() ? list.c_str() : (list + L"\\" + sid).c_str(), 0,
                        KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    const storedValue value = queryValue(key.get(), sid.empty() ? L"Default" : L"ProfileImagePath");
    if (value.type != REG_EXPAND_SZ && value.type != REG_SZ)
        return {};
    const std::wstring stored = storedText(value);
    // The result counts its terminator, and the system takes at most 32K characters.
    const DWORD needed = ::ExpandEnvironmentStringsW(stored.c_str(), nullptr, 0);
    if (needed == 0 || needed > 32768)
        return {};
    std::wstring folder(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(stored.c_str(), folder.data(), needed);
    if (written == 0 || written > needed)
        return {};
    folder.resize(written - 1);
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return isFullPath(folder) ? folder : std::wstring();
}

} // namespace

std::wstring defaultLogFile(const loggingProfile& profile) {
    if (profile.kind == profileKind::currentUser)
        return defaultLogFileNameUncreated().GetString();
    const std::wstring folder = profileFolder(profile.kind == profileKind::defaultUser ? L"S-1-5-18"
                                              : profile.kind == profileKind::person    ? profile.sid
                                                                                       : L"");
    // Where the system keeps an account's roaming application data inside its profile.
    return folder.empty()
               ? folder
               : defaultLogFileNameUnder((folder + L"\\AppData\\Roaming").c_str()).GetString();
}

std::wstring storedText(const storedValue& value) {
    std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), value.bytes.data(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::vector<loggingProfile> profilesOfScope(const std::string& scope) {
    if (scope == "user")
        return {loggingProfile::currentUser};
    if (scope == "default")
        return {loggingProfile::defaultUser};
    return {loggingProfile::currentUser, loggingProfile::defaultUser};
}

DWORD visitProfiles(const std::string& scope, bool withNewUsers,
                    const std::function<void(const loggingProfile&, DWORD)>& visit) {
    if (scope != allUsersScope) {
        for (const loggingProfile& profile : profilesOfScope(scope))
            visit(profile, ERROR_SUCCESS);
        return ERROR_SUCCESS;
    }
    std::vector<machineProfile> people;
    if (const DWORD error = listMachineProfiles(people); error != ERROR_SUCCESS)
        return error;
    if (withNewUsers)
        people.push_back({L"", L"", defaultUserTemplateHive()});
    for (const machineProfile& person : people) {
        loggingProfile profile{person.sid.empty() ? profileKind::newUsers : profileKind::person,
                               HKEY_USERS,
                               person.sid,
                               person.sid,
                               person.account,
                               person.hiveFile};
        if (person.hiveFile.empty() && person.sid.empty()) {
            visit(profile, ERROR_FILE_NOT_FOUND); // no template known on this machine
            continue;
        }
        if (person.hiveFile.empty()) {
            visit(profile, ERROR_SUCCESS);
            continue;
        }
        // Mounted under a name of its own, which no loaded profile has.
        profile.base = L"Logsmith_" + (person.sid.empty() ? std::wstring(L"NewUsers") : person.sid);
        mountedHive hive;
        const DWORD error = hive.mount(person.hiveFile, profile.base);
        visit(profile, error);
    }
    return ERROR_SUCCESS;
}

const wchar_t* scopeName(const loggingProfile& profile) {
    switch (profile.kind) {
    case profileKind::currentUser:
        return L"user";
    case profileKind::defaultUser:
        return L"default";
    case profileKind::person:
        return L"all-users";
    case profileKind::newUsers:
        break;
    }
    return L"new-users";
}

std::wstring ownerText(const loggingProfile& profile) {
    if (profile.kind == profileKind::newUsers)
        return L"the default user (new accounts)";
    if (profile.kind != profileKind::person)
        return {};
    return (profile.account.empty() ? std::wstring(L"unknown account") : profile.account) + L" (" +
           profile.sid + L")";
}

std::wstring productKeyPath(const loggingProfile& profile) {
    const std::wstring path = profile.base.empty() ? std::wstring() : profile.base + L"\\";
    return path + softwareKeyName + L"\\" + companyKeyName + L"\\" + productKeyName;
}

std::wstring productKeyFullName(const loggingProfile& profile) {
    return rootName(profile) + productKeyPath(profile);
}

const char* nameOfMode(DWORD code) {
    for (const modeName& mode : modeNames)
        if (mode.code == code)
            return mode.name;
    return nullptr;
}

profileReport inspectProfile(const loggingProfile& profile) {
    profileReport report;
    report.profile = profile;
    report.mode.name = debugDataTransferValue;
    report.logFile.name = debugLogFileValue;
    report.deleteFirst.name = debugLogFileWriteNewFileValue;

    // A reader creates nothing.
    registryKeyChain chain;
    const LSTATUS opened = chain.open(profile.root, productKeyPath(profile), productKeyReadAccess,
                                      keyChainMode::openExisting);
    const HKEY key = chain.last();
    report.keyExists = opened == ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND && opened != ERROR_PATH_NOT_FOUND)
        report.readError = static_cast<DWORD>(opened);
    if (report.keyExists) {
        report.mode.stored = queryValue(key, debugDataTransferValue);
        report.logFile.stored = queryValue(key, debugLogFileValue);
        report.deleteFirst.stored = queryValue(key, debugLogFileWriteNewFileValue);
        // The dialog's own reads decide what it would show.
        readLoggingSettings(key, report.shown);
    }
    report.mode.problem = numberProblem(report.mode.stored);
    if (report.mode.problem.empty() && nameOfMode(storedNumber(report.mode.stored)) == nullptr)
        report.mode.problem = L"unknown mode " + std::to_wstring(storedNumber(report.mode.stored));
    report.logFile.problem = textProblem(report.logFile.stored);
    report.deleteFirst.problem = flagProblem(report.deleteFirst.stored);

    // No radio button stands for an unknown code, and Apply then stores "none".
    if (nameOfMode(report.shown.mode) == nullptr)
        report.shown.mode = logNothing;
    report.fileIsDefault = report.shown.fileName.IsEmpty();
    if (report.fileIsDefault)
        report.shown.fileName = defaultLogFile(profile).c_str();
    report.shown.writeNewFile = report.shown.writeNewFile != 0 ? 1 : 0;
    return report;
}

std::wstring danglingLinkText(const loggingProfile& profile) {
    const std::wstring path = productKeyPath(profile);
    for (std::size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        const std::wstring prefix = path.substr(0, end);
        uniqueHkey key;
        if (::RegOpenKeyExW(profile.root, prefix.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE,
                            key.put()) != ERROR_SUCCESS)
            return {};
        const storedValue target = queryValue(key.get(), L"SymbolicLinkValue");
        if (target.present && target.type == REG_LINK) {
            std::wstring name(target.bytes.size() / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), target.bytes.data(), name.size() * sizeof(wchar_t));
            return rootName(profile) + prefix + L" is a registry link to " +
                   printable(name.substr(0, name.find(L'\0'))) + L", which does not exist";
        }
        if (end == std::wstring::npos)
            return {};
    }
}

std::wstring systemErrorText(DWORD code) {
    // Codes that some systems have no text for.
    if (code == ERROR_BAD_FILE_TYPE)
        return L"it is not a regular file";
    if (code == ERROR_FILE_TOO_LARGE)
        return L"it is too large for this operation";
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length > 0 && text != nullptr ? std::wstring(text, length)
                                                        : L"error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                               result.back() == L' ' || result.back() == L'.'))
        result.pop_back();
    return result;
}

std::wstring folderProblem(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    const std::wstring shown = printable(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? std::wstring()
                                                            : shown + L" is a file, not a folder";
    const DWORD error = ::GetLastError();
    if (pathTooLongForSystem(folder.c_str()))
        return L"the path of " + shown + L" is " + std::to_wstring(folder.size()) +
               L" characters long, and long paths are not enabled on this system";
    if (isMissing(error))
        return shown + L" does not exist";
    return shown + L" cannot be reached (" + systemErrorText(error) + L")";
}
