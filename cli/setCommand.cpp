// set: writes, in each chosen profile, the values whose options were given, as the dialog's
// Apply stores them. Nothing is read from another profile.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include "app/productRegistryKeys.h"
#include "settings/readWriteSettingsToRegistry.h"
#include "support/uniqueResource.h"

namespace {

// An elevated token; when the token cannot be asked, the write is attempted and reports itself.
bool tokenIsElevated() {
    uniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return true;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return true;
    return elevation.TokenIsElevated != 0;
}

elevationQuery g_isElevated = &tokenIsElevated;

// The longest path the system accepts.
constexpr std::size_t maxPathLength = 32767;

DWORD modeCode(const std::string& name) {
    for (const modeName& mode : modeNames)
        if (name == mode.name)
            return mode.code;
    return logNothing;
}

// The dialog's text on one line, then the system's.
std::wstring failureText(loggingProfile profile, const wchar_t* dialogText, DWORD error) {
    std::wstring text(dialogText);
    for (std::size_t at; (at = text.find(L"\r\n\r\n")) != std::wstring::npos;)
        text.replace(at, 4, L" ");
    return productKeyFullName(profile) + L": " + text + L" (" + systemErrorText(error) + L")\n";
}

// Only an elevated administrator may write the profile services read.
void writeElevationHint(loggingProfile profile, DWORD error, textOutput& err) {
    if (profile == loggingProfile::defaultUser && error == ERROR_ACCESS_DENIED)
        err.write(L"logsmithctl: run it from an elevated prompt, or give --scope user to change "
                  L"only your own settings\n");
}

// Sets of one profile run one at a time, so that a default written for a missing value cannot
// land over a value another set has just written. Where the lock cannot be had (created by
// another account, or held too long) the set goes on without it.
class profileWriteLock {
public:
    explicit profileWriteLock(loggingProfile profile)
        : m_mutex(::CreateMutexW(nullptr, FALSE,
                                 profile == loggingProfile::defaultUser
                                     ? L"Global\\Tarnwick.Driftmarkx64.DEFAULT.set"
                                     : L"Local\\Tarnwick.Driftmarkx64.user.set")) {
        if (m_mutex) {
            const DWORD waited = ::WaitForSingleObject(m_mutex.get(), 30000);
            m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        }
    }
    ~profileWriteLock() {
        if (m_held)
            ::ReleaseMutex(m_mutex.get());
    }
    profileWriteLock(const profileWriteLock&) = delete;
    profileWriteLock& operator=(const profileWriteLock&) = delete;

private:
    uniqueKernelHandle m_mutex;
    bool m_held = false;
};

DWORD lastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

bool isStored(HKEY key, const wchar_t* name) {
    return ::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_FILE_NOT_FOUND;
}

// The values given, and where the profile stores none, the default written once, so that a
// profile never holds a mode without a file name. No trace path: nothing is created for it.
// The first write's error, or ERROR_SUCCESS.
DWORD writeValues(HKEY product, loggingProfile profile, const setOptions& options,
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
        const CString name = profile == loggingProfile::currentUser && !known.empty()
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
bool writeProfile(loggingProfile profile, const setOptions& options, textOutput& err) {
    const profileWriteLock lock(profile);
    productKeyChain userChain;
    defaultUserKeyChain defaultChain;
    LSTATUS opened = ERROR_SUCCESS;
    HKEY product = nullptr;
    if (profile == loggingProfile::currentUser) {
        opened = userChain.open(HKEY_CURRENT_USER, productKeyWriteAccess);
        product = userChain.product.get();
    } else {
        opened = defaultChain.open();
        product = defaultChain.chain.product.get();
    }
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

} // namespace

int setCommand(const setOptions& options, textOutput& out, textOutput& err) {
    if (options.file && options.file->size() > maxPathLength) {
        err.write(L"logsmithctl: the log file path is longer than " +
                  std::to_wstring(maxPathLength) + L" characters; nothing was changed\n");
        return exitUsage;
    }
    if (options.file && options.file->empty() && options.mode != "none")
        err.write(L"logsmithctl: warning: the log file name is empty; it is stored as the dialog "
                  L"would store it\n");

    bool allWritten = true;
    for (loggingProfile profile : profilesOfScope(options.scope)) {
        if (profile == loggingProfile::defaultUser && !options.scopeGiven && !g_isElevated()) {
            out.write(L"skipped: " + productKeyFullName(profile) + L"\n");
            err.write(L"logsmithctl: warning: " + productKeyFullName(profile) +
                      L" was not written: only an elevated administrator may change it. Run from "
                      L"an elevated prompt to write it too, or give --scope user.\n");
            continue;
        }
        if (writeProfile(profile, options, err))
            out.write(L"written: " + productKeyFullName(profile) + L"\n");
        else
            allWritten = false;
    }
    return allWritten ? exitSuccess : exitFailure;
}

elevationQuery setElevationQuery(elevationQuery query) {
    const elevationQuery previous = g_isElevated;
    g_isElevated = query != nullptr ? query : &tokenIsElevated;
    return previous;
}
