// set: writes the three values to each chosen profile, exactly as the dialog's Apply does.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include "app/productRegistryKeys.h"
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

// What the dialog would show for the current user: the start of every set. The dialog creates
// the default name's folder when it offers it; so does set.
loggingSettings startingSettings() {
    loggingSettings settings = inspectProfile(loggingProfile::currentUser).shown;
    if (settings.fileName == defaultLogFileNameUncreated())
        settings.fileName = defaultLogFileName();
    return settings;
}

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

// Opens the profile's product key for writing and stores the values; 0 on success, else the
// error written to err.
bool writeProfile(loggingProfile profile, const loggingSettings& settings, textOutput& err) {
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
    ::SetLastError(ERROR_SUCCESS);
    if (!writeLoggingSettings(product, settings)) {
        const DWORD error = ::GetLastError();
        err.write(failureText(profile, registryWriteFailureText, error));
        writeElevationHint(profile, error, err);
        return false;
    }
    return true;
}

} // namespace

int setCommand(const setOptions& options, textOutput& out, textOutput& err) {
    loggingSettings settings = startingSettings();
    if (options.mode)
        settings.mode = modeCode(*options.mode);
    if (options.file) {
        if (options.file->size() > maxPathLength) {
            err.write(L"logsmithctl: the log file path is longer than " +
                      std::to_wstring(maxPathLength) + L" characters; nothing was changed\n");
            return exitUsage;
        }
        settings.fileName = options.file->c_str();
    }
    if (options.deleteFirst)
        settings.writeNewFile = *options.deleteFirst == "yes" ? 1 : 0;
    if (settings.mode != logNothing && settings.fileName.IsEmpty())
        err.write(L"logsmithctl: warning: logging is on but the log file name is empty; it is "
                  L"stored as the dialog would store it\n");

    bool allWritten = true;
    for (loggingProfile profile : profilesOfScope(options.scope)) {
        if (profile == loggingProfile::defaultUser && !options.scopeGiven && !g_isElevated()) {
            out.write(L"skipped: " + productKeyFullName(profile) + L"\n");
            err.write(L"logsmithctl: warning: " + productKeyFullName(profile) +
                      L" was not written: only an elevated administrator may change it. Run from "
                      L"an elevated prompt to write it too, or give --scope user.\n");
            continue;
        }
        if (writeProfile(profile, settings, err))
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
