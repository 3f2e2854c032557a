// show: what each profile stores, and what the dialog would show where that differs.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

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

void writeText(const profileReport& report, textOutput& out) {
    DWORD storedMode = 0;
    if (report.mode.stored.bytes.size() == sizeof(DWORD))
        std::memcpy(&storedMode, report.mode.stored.bytes.data(), sizeof(DWORD));
    out.write(productKeyFullName(report.profile) + (report.keyExists ? L"" : L" (no key)") + L"\n");
    out.write(L"  mode:          " +
              describe(report.mode, modeText(storedMode), modeText(report.shown.mode)) + L"\n");
    out.write(L"  log file:      " + fileText(report) + L"\n");
    out.write(L"  delete first:  " +
              describe(report.deleteFirst, yesNo(report.shown.writeNewFile),
                       yesNo(report.shown.writeNewFile)) +
              L"\n");
}

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

nlohmann::json reportJson(const profileReport& report) {
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
    return {{"scope", toUtf8(scopeName(report.profile))},
            {"key", toUtf8(productKeyFullName(report.profile))},
            {"keyExists", report.keyExists},
            {"wellFormed", report.wellFormed()},
            {"mode", mode},
            {"logFile", logFile},
            {"deleteFirst", deleteFirst}};
}

} // namespace

int showCommand(const showOptions& options, textOutput& out) {
    nlohmann::json profiles = nlohmann::json::array();
    bool first = true;
    for (loggingProfile profile : profilesOfScope(options.scope)) {
        const profileReport report = inspectProfile(profile);
        if (options.json) {
            profiles.push_back(reportJson(report));
            continue;
        }
        if (!first)
            out.write(L"\n");
        first = false;
        writeText(report, out);
    }
    if (options.json)
        out.write(fromUtf8(nlohmann::json{{"profiles", profiles}}.dump(2)) + L"\n");
    return exitSuccess;
}
