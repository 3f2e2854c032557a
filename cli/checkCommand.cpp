// check: both profiles hold well-formed values that agree, and a log file that can be created.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include <vector>

namespace {

void addValueFindings(const profileReport& report, std::vector<std::wstring>& findings) {
    for (const valueReport* value : {&report.mode, &report.logFile, &report.deleteFirst})
        if (!value->problem.empty())
            findings.push_back(productKeyFullName(report.profile) + L": " + value->name + L" is " +
                               value->problem);
}

bool folderExists(const CString& fileName) {
    const int separator = fileName.ReverseFind(L'\\');
    if (separator <= 0)
        return false;
    const DWORD attributes = ::GetFileAttributesW(fileName.Left(separator));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void addFolderFinding(const profileReport& report, std::vector<std::wstring>& findings) {
    if (report.shown.mode == logNothing || folderExists(report.shown.fileName))
        return;
    findings.push_back(productKeyFullName(report.profile) + L": logging is on but the folder of " +
                       std::wstring(report.shown.fileName) + L" does not exist");
}

void addDisagreements(const profileReport& user, const profileReport& other,
                      std::vector<std::wstring>& findings) {
    const auto differ = [&](const wchar_t* name, const std::wstring& first,
                            const std::wstring& second) {
        if (first != second)
            findings.push_back(std::wstring(L"the profiles disagree on ") + name + L": " + first +
                               L" (current user) and " + second + L" (.DEFAULT)");
    };
    differ(debugDataTransferValue, std::to_wstring(user.shown.mode),
           std::to_wstring(other.shown.mode));
    differ(debugLogFileValue, std::wstring(user.shown.fileName),
           std::wstring(other.shown.fileName));
    differ(debugLogFileWriteNewFileValue, std::to_wstring(user.shown.writeNewFile),
           std::to_wstring(other.shown.writeNewFile));
}

} // namespace

int checkCommand(textOutput& out) {
    const profileReport user = inspectProfile(loggingProfile::currentUser);
    const profileReport other = inspectProfile(loggingProfile::defaultUser);
    std::vector<std::wstring> findings;
    addValueFindings(user, findings);
    addValueFindings(other, findings);
    addDisagreements(user, other, findings);
    addFolderFinding(user, findings);
    addFolderFinding(other, findings);
    for (const std::wstring& finding : findings)
        out.write(finding + L"\n");
    if (!findings.empty())
        return exitFailure;
    out.write(L"both profiles hold the same well-formed settings\n");
    return exitSuccess;
}
