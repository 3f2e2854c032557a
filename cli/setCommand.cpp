// set: writes, in each chosen profile, the values whose options were given, as the dialog's
// Apply stores them. Nothing is read from another profile.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/profileChanges.h"
#include "cli/profileExpiry.h"

#include "app/productRegistryKeys.h"
#include "framework/CString.h"
#include "settings/readWriteSettingsToRegistry.h"
#include "settings/registryKeyChain.h"
#include "support/uniqueResource.h"
#include "support/win32Errors.h"

namespace {

// The longest path the system accepts.
constexpr std::size_t maxPathLength = 32767;

DWORD modeCode(const std::string& name) {
    for (const modeName& mode : modeNames)
        if (name == mode.name)
            return mode.code;
    return logNothing;
}

// The dialog's text on one line, then the system's.
std::wstring failureText(const loggingProfile& profile, const wchar_t* dialogText, DWORD error) {
    std::wstring text(dialogText);
    for (std::size_t at; (at = text.find(L"\r\n\r\n")) != std::wstring::npos;)
        text.replace(at, 4, L" ");
    return productKeyFullName(profile) + L": " + text + L" (" + systemErrorText(error) + L")\n";
}

// Only an elevated administrator may write the profile services read.
void writeElevationHint(const loggingProfile& profile, DWORD error, textOutput& err) {
    if (profile.kind == profileKind::defaultUser && error == ERROR_ACCESS_DENIED)
        err.write(L"logsmithctl: run it from an elevated prompt, or give --scope user to change "
                  L"only your own settings\n");
}

bool isStored(HKEY key, const wchar_t* name) {
    return ::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_FILE_NOT_FOUND;
}

// The values given, and where the profile stores none, the default written once, so that a
// profile never holds a mode without a file name. No trace path: nothing is created for it.
// The first write's error, or ERROR_SUCCESS.
DWORD writeValues(HKEY product, const loggingProfile& profile, const setOptions& options,
                  textOutput& err) {
    readWriteSettingsToRegistry store;
    store.attachKey(product);
    DWORD error = ERROR_SUCCESS;
    const auto note = [&](int written) {
        if (!written && error == ERROR_SUCCESS)
            error = lastErrorOr(ERROR_WRITE_FAULT);
    };
    const auto writeNumber = [&](const wchar_t* name, bool given, DWORD value) {
        if (given || !isStored(product, name))
            note(store.writeDword(nullptr, name, value));
    };
    writeNumber(debugDataTransferValue, options.mode.has_value(),
                options.mode ? modeCode(*options.mode) : logNothing);
    writeNumber(debugLogFileWriteNewFileValue, options.deleteFirst.has_value(),
                options.deleteFirst == "yes" ? 1 : 0);
    if (options.file) {
        note(store.writeCString(nullptr, debugLogFileValue, options.file->c_str()));
    } else if (!isStored(product, debugLogFileValue)) {
        const std::wstring known = defaultLogFile(profile);
        // The current user's default is the dialog's, whose folders the dialog creates.
        const CString name = profile.kind == profileKind::currentUser && !known.empty()
                                 ? defaultLogFileName()
                                 : CString(known.c_str());
        if (!name.IsEmpty())
            note(store.writeCString(nullptr, debugLogFileValue, name));
        else
            err.write(L"logsmithctl: note: the default log file of " + productKeyFullName(profile) +
                      L" is not known here; it stays unset, for the process that logs to "
                      L"decide\n");
    }
    return error;
}

// Opens the profile's product key for writing and stores the values; false after writing the
// error to err.
bool writeProfile(const loggingProfile& profile, const setOptions& options, textOutput& err) {
    registryKeyChain base;
    registryKeyChain chain;
    LSTATUS opened = ERROR_SUCCESS;
    if (profile.kind == profileKind::currentUser) {
        opened = openProductKeyChain(chain, HKEY_CURRENT_USER, productKeyWriteAccess);
    } else if (profile.kind == profileKind::defaultUser) {
        opened = openDefaultUserProductKeyChain(chain);
    } else {
        // A person's hive is there (loaded or mounted) or not: it is never created.
        opened = base.open(profile.root, profile.base, productKeyWriteAccess,
                           keyChainMode::openExisting);
        if (opened == ERROR_SUCCESS)
            opened = openProductKeyChain(chain, base.last(), productKeyWriteAccess);
    }
    const HKEY product = chain.last();
    if (opened != ERROR_SUCCESS) {
        const std::wstring link = opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND
                                      ? danglingLinkText(profile)
                                      : std::wstring();
        if (!link.empty())
            err.write(L"logsmithctl: cannot write " + productKeyFullName(profile) + L": " + link +
                      L"\n");
        else
            err.write(failureText(profile, registryOpenFailureText, static_cast<DWORD>(opened)));
        writeElevationHint(profile, static_cast<DWORD>(opened), err);
        return false;
    }
    if (const DWORD error = writeValues(product, profile, options, err); error != ERROR_SUCCESS) {
        err.write(failureText(profile, registryWriteFailureText, error));
        writeElevationHint(profile, error, err);
        return false;
    }
    return true;
}

// set --file: what would stop the program that logs from creating the file. Warnings, or with
// --strict the reasons for refusing; true when the set may go on.
bool acceptFile(const setOptions& options, textOutput& err) {
    if (!options.file || options.file->empty())
        return true;
    const std::vector<std::wstring> problems = logFilePathProblems(*options.file);
    for (const std::wstring& problem : problems)
        err.write(std::wstring(options.strict ? L"logsmithctl: " : L"logsmithctl: warning: ") +
                  problem + L"\n");
    if (!problems.empty() && options.strict) {
        err.write(L"logsmithctl: --strict: nothing was changed\n");
        return false;
    }
    if (!problems.empty())
        err.write(L"logsmithctl: the log file name is stored as given\n");
    return true;
}

// The UTC time a duration from now.
FILETIME expiryFromNow(ULONGLONG seconds) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks =
        ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) +
        seconds * 10'000'000ULL;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

int setCommand(const setOptions& options, textOutput& out, textOutput& err) {
    if (options.file && options.file->size() > maxPathLength) {
        err.write(L"logsmithctl: the log file path is longer than " +
                  std::to_wstring(maxPathLength) + L" characters; nothing was changed\n");
        return exitUsage;
    }
    std::optional<ULONGLONG> seconds;
    if (options.forDuration) {
        seconds = parseExpiryDuration(*options.forDuration);
        if (!seconds) {
            err.write(L"logsmithctl: --for takes a whole number of minutes, hours or days (30m, "
                      L"8h, 2d), at most 30 days, not '" +
                      printable(*options.forDuration) + L"'; nothing was changed\n");
            return exitUsage;
        }
    }
    if (options.file && options.file->empty() && options.mode != "none")
        err.write(L"logsmithctl: warning: the log file name is empty; it is stored as the dialog "
                  L"would store it\n");
    if (!acceptFile(options, err))
        return exitFailure;
    if (refuseAllUsersWithoutElevation(options.scope, err))
        return exitFailure;

    const std::vector<expiryTarget> targets =
        expiryTargetsOfScope(options.scope, skipsDefaultProfile(options.scope, options.scopeGiven));
    FILETIME expires{};
    if (seconds) {
        // Registered before anything is written: a timed change that would never end is worse
        // than none.
        expires = expiryFromNow(*seconds);
        if (const HRESULT registered = scheduleExpiries(targets, expires, options.includeNewUsers);
            FAILED(registered)) {
            err.write(L"logsmithctl: the task that would turn logging off again cannot be "
                      L"registered with the Task Scheduler (" +
                      systemErrorText(static_cast<DWORD>(registered)) +
                      L"); nothing was changed\n");
            return exitFailure;
        }
    }
    const profileChanges changes =
        changeProfiles(options.scope, options.scopeGiven, options.includeNewUsers, out, err,
                       [&](const loggingProfile& profile) {
                           if (!writeProfile(profile, options, err))
                               return false;
                           const std::wstring owner = ownerText(profile);
                           out.write(L"written: " + productKeyFullName(profile) +
                                     (owner.empty() ? L"" : L" (" + owner + L")") + L"\n");
                           return true;
                       });
    bool expiryKept = true;
    if (seconds) {
        // A task whose profiles were not written would reset what they held before.
        (void)cancelExpiries(changes.targets(targets, false));
        if (!changes.targets(targets, true).empty())
            out.write(L"logging is turned off again at " + expiryText(expires) + L"\n");
    } else {
        // A set without --for is meant to last.
        expiryKept = cancelPendingExpiries(changes.targets(targets, true), out, err);
    }
    return changes.allChanged && expiryKept ? exitSuccess : exitFailure;
}
