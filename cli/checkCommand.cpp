// check: the profiles of a scope hold well-formed values and, where asked, what a compliance rule
// expects; a log file that logging uses can be created. A value that is not there is not
// configured (logging off), which is a known state, not a finding.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/profileChanges.h"
#include "cli/profileReports.h"

#include <vector>

namespace {

std::wstring whose(const profileReport& report) {
    const std::wstring owner = ownerText(report.profile);
    return productKeyFullName(report.profile) + (owner.empty() ? L"" : L" (" + owner + L")");
}

// Present but not in the form the dialog writes.
void addValueFindings(const profileReport& report, std::vector<std::wstring>& findings) {
    for (const valueReport* value : {&report.mode, &report.logFile, &report.deleteFirst})
        if (value->stored.present && !value->problem.empty())
            findings.push_back(whose(report) + L": " + value->name + L" is " + value->problem);
}

void addFileFinding(const profileReport& report, std::vector<std::wstring>& findings) {
    if (report.shown.mode == logNothing)
        return;
    const std::wstring key = whose(report) + L": logging is on but ";
    if (report.logFile.problem.empty() && storedText(report.logFile.stored).empty()) {
        findings.push_back(key + L"the log file name is empty");
        return;
    }
    // No name and no known default: the process that logs decides.
    if (report.shown.fileName.IsEmpty())
        return;
    for (const std::wstring& problem : logFilePathProblems(std::wstring(report.shown.fileName)))
        findings.push_back(key + problem);
}

std::wstring modeText(DWORD code) {
    const char* name = nameOfMode(code);
    return (name != nullptr ? fromUtf8(name) : L"unknown") + L" (" + std::to_wstring(code) + L")";
}

bool samePath(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// What the dialog would show (and the product use) against what the rule expects.
void addExpectationFindings(const checkOptions& options, const profileReport& report,
                            std::vector<std::wstring>& findings) {
    const auto differs = [&](const wchar_t* name, const std::wstring& held,
                             const std::wstring& expected) {
        findings.push_back(whose(report) + L": " + name + L" is " + held + L", expected " +
                           expected);
    };
    if (options.expectMode) {
        const DWORD expected = [&] {
            for (const modeName& mode : modeNames)
                if (*options.expectMode == mode.name)
                    return mode.code;
            return logNothing;
        }();
        if (report.shown.mode != expected)
            differs(debugDataTransferValue, modeText(report.shown.mode), modeText(expected));
    }
    if (options.expectFile && !samePath(std::wstring(report.shown.fileName), *options.expectFile))
        differs(debugLogFileValue,
                report.shown.fileName.IsEmpty()
                    ? std::wstring(L"not set")
                    : quotedPrintable(std::wstring(report.shown.fileName)),
                quotedPrintable(*options.expectFile));
    if (options.expectDeleteFirst &&
        (report.shown.writeNewFile != 0) != (*options.expectDeleteFirst == "yes"))
        differs(debugLogFileWriteNewFileValue, report.shown.writeNewFile != 0 ? L"yes" : L"no",
                fromUtf8(*options.expectDeleteFirst));
}

std::wstring label(const profileReport& report) {
    switch (report.profile.kind) {
    case profileKind::currentUser:
        return L"current user";
    case profileKind::defaultUser:
        return L".DEFAULT";
    case profileKind::person:
    case profileKind::newUsers:
        break;
    }
    return ownerText(report.profile);
}

void addDisagreements(const profileReport& first, const profileReport& other,
                      std::vector<std::wstring>& findings) {
    const auto differ = [&](const wchar_t* name, const std::wstring& left,
                            const std::wstring& right) {
        if (left != right)
            findings.push_back(std::wstring(L"the profiles disagree on ") + name + L": " +
                               printable(left) + L" (" + label(first) + L") and " +
                               printable(right) + L" (" + label(other) + L")");
    };
    differ(debugDataTransferValue, std::to_wstring(first.shown.mode),
           std::to_wstring(other.shown.mode));
    // Each profile has a default of its own.
    if (!first.fileIsDefault && !other.fileIsDefault)
        differ(debugLogFileValue, std::wstring(first.shown.fileName),
               std::wstring(other.shown.fileName));
    differ(debugLogFileWriteNewFileValue, std::to_wstring(first.shown.writeNewFile),
           std::to_wstring(other.shown.writeNewFile));
}

std::wstring stateText(const profileReport& report) {
    if (report.readError != ERROR_SUCCESS)
        return L"cannot be read (" + systemErrorText(report.readError) + L")";
    const bool configured = report.mode.stored.present || report.logFile.stored.present ||
                            report.deleteFirst.stored.present;
    if (!configured)
        return L"not configured (logging off)";
    const auto valueText = [](const valueReport& value, const std::wstring& shown) {
        return value.stored.present ? shown : std::wstring(L"not configured");
    };
    return L"mode " + valueText(report.mode, modeText(report.shown.mode)) + L", log file " +
           valueText(report.logFile, quotedPrintable(std::wstring(report.shown.fileName))) +
           L", delete first " +
           valueText(report.deleteFirst, report.shown.writeNewFile != 0 ? L"yes" : L"no");
}

} // namespace

int checkCommand(const checkOptions& options, textOutput& out, textOutput& err) {
    std::vector<profileReport> reports;
    std::vector<std::wstring> findings;
    bool unreadable = false;
    if (refuseAllUsersWithoutElevation(options.scope, err)) {
        unreadable = true;
    } else if (const DWORD listed =
                   visitProfiles(options.scope, options.includeNewUsers,
                                 [&](const loggingProfile& profile, DWORD mountError) {
                                     reports.push_back(readProfile(profile, mountError));
                                 });
               listed != ERROR_SUCCESS) {
        err.write(L"logsmithctl: the profiles of this machine cannot be listed (" +
                  systemErrorText(listed) + L")\n");
        unreadable = true;
    }
    const profileReport* first = nullptr;
    for (const profileReport& report : reports) {
        if (report.readError != ERROR_SUCCESS) {
            unreadable = true;
            continue;
        }
        addValueFindings(report, findings);
        addExpectationFindings(options, report, findings);
        addFileFinding(report, findings);
        if (options.same && first != nullptr)
            addDisagreements(*first, report, findings);
        if (first == nullptr)
            first = &report;
    }
    // A profile that cannot be read is not known to be out of line: a distinct code.
    const int code = !findings.empty() ? exitFailure : unreadable ? exitUnreadable : exitSuccess;
    if (options.json) {
        nlohmann::json profiles = nlohmann::json::array();
        nlohmann::json found = nlohmann::json::array();
        for (const profileReport& report : reports)
            profiles.push_back(profileStateJson(report));
        for (const std::wstring& finding : findings)
            found.push_back(toUtf8(finding));
        out.write(fromUtf8(nlohmann::json{{"formatVersion", reportFormatVersion},
                                          {"exitCode", code},
                                          {"compliant", code == exitSuccess},
                                          {"findings", found},
                                          {"profiles", profiles}}
                               .dump(2)) +
                  L"\n");
        return code;
    }
    for (const profileReport& report : reports)
        out.write(whose(report) + L": " + stateText(report) + L"\n");
    for (const std::wstring& finding : findings)
        out.write(finding + L"\n");
    if (code == exitSuccess)
        out.write(L"compliant\n");
    else if (code == exitUnreadable)
        out.write(L"not known: a profile could not be read\n");
    return code;
}
