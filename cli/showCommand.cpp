// show: what each profile stores, and what the dialog would show where that differs.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/profileChanges.h"
#include "cli/profileExpiry.h"
#include "cli/profileReports.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace {

std::wstring modeText(DWORD code) {
    const char* name = nameOfMode(code);
    std::wstring text = name != nullptr ? fromUtf8(name) : L"unknown";
    return text + L" (" + std::to_wstring(code) + L")";
}

std::wstring yesNo(int value) {
    return value != 0 ? L"yes" : L"no";
}

// "value" when well formed, else "problem; the dialog shows: shown".
std::wstring describe(const valueReport& value, const std::wstring& stored,
                      const std::wstring& shown) {
    if (value.problem.empty())
        return stored;
    return value.problem + L"; the dialog shows: " + shown;
}

std::wstring fileText(const profileReport& report) {
    const std::wstring& problem = report.logFile.problem;
    const bool emptyName = problem.empty() && storedText(report.logFile.stored).empty();
    // No name, and the profile's default is not known here.
    if (report.shown.fileName.IsEmpty())
        return (emptyName         ? L"(empty); "
                : problem.empty() ? L""
                                  : problem + L"; ") +
               std::wstring(L"default (decided by the process that logs)");
    const std::wstring shown = printable(std::wstring(report.shown.fileName));
    return emptyName ? L"(empty); the dialog shows: " + shown
                     : describe(report.logFile, shown, shown);
}

} // namespace

profileReport readProfile(const loggingProfile& profile, DWORD mountError) {
    if (mountError == ERROR_SUCCESS)
        return inspectProfile(profile);
    profileReport report;
    report.profile = profile;
    report.readError = mountError;
    return report;
}

void writeProfileText(const profileReport& report, textOutput& out) {
    const std::wstring owner = ownerText(report.profile);
    if (report.readError != ERROR_SUCCESS) {
        const std::wstring where = report.profile.hiveFile.empty()
                                       ? productKeyFullName(report.profile)
                                       : printable(report.profile.hiveFile);
        out.write((owner.empty() ? where : owner + L": " + where) + L" cannot be read (" +
                  systemErrorText(report.readError) + L")\n");
        return;
    }
    DWORD storedMode = 0;
    if (report.mode.stored.bytes.size() == sizeof(DWORD))
        std::memcpy(&storedMode, report.mode.stored.bytes.data(), sizeof(DWORD));
    out.write(productKeyFullName(report.profile) + (report.keyExists ? L"" : L" (no key)") + L"\n");
    if (!owner.empty())
        out.write(L"  account:       " + printable(owner) + L"\n");
    if (!report.profile.hiveFile.empty())
        out.write(L"  hive file:     " + printable(report.profile.hiveFile) + L"\n");
    out.write(L"  mode:          " +
              describe(report.mode, modeText(storedMode), modeText(report.shown.mode)) + L"\n");
    out.write(L"  log file:      " + fileText(report) + L"\n");
    out.write(L"  delete first:  " +
              describe(report.deleteFirst, yesNo(report.shown.writeNewFile),
                       yesNo(report.shown.writeNewFile)) +
              L"\n");
    HRESULT error = S_OK;
    const std::optional<FILETIME> expires = pendingExpiry(report.profile, error);
    if (FAILED(error))
        out.write(L"  expires:       unknown; the Task Scheduler cannot be asked (" +
                  schedulerErrorText(error) + L")\n");
    else if (expires)
        out.write(L"  expires:       " + expiryText(*expires) + L"\n");
}

namespace {

nlohmann::json valueJson(const valueReport& value) {
    nlohmann::json json;
    json["state"] = value.problem.empty() ? "ok" : toUtf8(value.problem);
    json["stored"] = value.stored.present;
    if (value.stored.present) {
        json["type"] = value.stored.type;
        json["size"] = value.stored.bytes.size();
    }
    return json;
}

} // namespace

nlohmann::json profileStateJson(const profileReport& report) {
    nlohmann::json mode = valueJson(report.mode);
    mode["code"] = report.shown.mode;
    mode["name"] = nameOfMode(report.shown.mode);
    nlohmann::json logFile = valueJson(report.logFile);
    const std::wstring file(report.shown.fileName);
    logFile["value"] = toUtf8(file);
    // The profile's default; an empty value leaves it to the process that logs.
    logFile["isDefault"] = report.fileIsDefault;
    // UTF-8 cannot carry an unpaired surrogate: the exact name beside the nearest text.
    if (!isWellFormed(file))
        logFile["valueCodeUnits"] = std::vector<unsigned>(file.begin(), file.end());
    nlohmann::json deleteFirst = valueJson(report.deleteFirst);
    deleteFirst["value"] = report.shown.writeNewFile != 0;
    nlohmann::json json = {{"scope", toUtf8(scopeName(report.profile))},
                           {"key", toUtf8(productKeyFullName(report.profile))},
                           {"keyExists", report.keyExists},
                           {"wellFormed", report.wellFormed()},
                           {"mode", mode},
                           {"logFile", logFile},
                           {"deleteFirst", deleteFirst}};
    // Added with the format version.
    json["configured"] =
        report.keyExists && (report.mode.stored.present || report.logFile.stored.present ||
                             report.deleteFirst.stored.present);
    json["malformed"] = report.malformed();
    json["readable"] = report.readError == ERROR_SUCCESS;
    if (report.readError != ERROR_SUCCESS)
        json["readError"] = toUtf8(systemErrorText(report.readError));
    if (report.profile.kind == profileKind::person)
        json["sid"] = toUtf8(report.profile.sid);
    if (!report.profile.account.empty())
        json["account"] = toUtf8(report.profile.account);
    if (!report.profile.hiveFile.empty())
        json["hiveFile"] = toUtf8(report.profile.hiveFile);
    HRESULT error = S_OK;
    const std::optional<FILETIME> expires = pendingExpiry(report.profile, error);
    json["expiry"] = expiryJson(expires, error);
    return json;
}

int showCommand(const showOptions& options, textOutput& out, textOutput& err) {
    if (refuseAllUsersWithoutElevation(options.scope, err))
        return exitFailure;
    nlohmann::json profiles = nlohmann::json::array();
    bool first = true;
    bool allRead = true;
    const DWORD listed = visitProfiles(options.scope, options.includeNewUsers,
                                       [&](const loggingProfile& profile, DWORD mountError) {
                                           const profileReport report =
                                               readProfile(profile, mountError);
                                           allRead = allRead && report.readError == ERROR_SUCCESS;
                                           if (options.json) {
                                               profiles.push_back(profileStateJson(report));
                                               return;
                                           }
                                           if (!first)
                                               out.write(L"\n");
                                           first = false;
                                           writeProfileText(report, out);
                                       });
    if (listed != ERROR_SUCCESS) {
        err.write(L"logsmithctl: the profiles of this machine cannot be listed (" +
                  systemErrorText(listed) + L")\n");
        return exitFailure;
    }
    if (options.json)
        out.write(
            fromUtf8(
                nlohmann::json{{"formatVersion", reportFormatVersion}, {"profiles", profiles}}.dump(
                    2)) +
            L"\n");
    return allRead ? exitSuccess : exitFailure;
}

int showCommand(const showOptions& options, textOutput& out) {
    stringOutput err;
    return showCommand(options, out, err);
}
