// check: both profiles hold well-formed values that agree, and a log file that can be created.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include <cwctype>
#include <vector>

namespace {

void addValueFindings(const profileReport& report, std::vector<std::wstring>& findings) {
    for (const valueReport* value : {&report.mode, &report.logFile, &report.deleteFirst})
        if (!value->problem.empty())
            findings.push_back(productKeyFullName(report.profile) + L": " + value->name + L" is " +
                               value->problem);
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isSeparator(wchar_t character) {
    return character == L'\\' || character == L'/';
}

// Rooted (\logs, \\server\share) or with a drive and a root (C:\, C:/). A relative name
// would depend on the working folder of whatever program writes the log.
bool isFullPath(const std::wstring& path) {
    if (!path.empty() && isSeparator(path[0]))
        return true;
    return path.size() > 2 && std::iswalpha(path[0]) && path[1] == L':' && isSeparator(path[2]);
}

// What stops the log file from being created there, judged by the system's path rules; empty
// when nothing does.
std::vector<std::wstring> logFileProblems(const std::wstring& name) {
    const std::wstring shown = printable(name);
    if (!isFullPath(name))
        return {shown + L" is not a full path"};
    std::vector<std::wstring> problems;
    for (const std::wstring& problem : logFileNameProblems(name))
        problems.push_back(L"the log file " + shown + L" " + problem);
    if (!problems.empty())
        return problems;
    const DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    wchar_t* filePart = nullptr;
    const DWORD length =
        needed == 0 ? 0 : ::GetFullPathNameW(name.c_str(), needed, full.data(), &filePart);
    if (length == 0 || length >= needed)
        return {shown + L" is not a valid path"};
    full.resize(length);
    if (filePart == nullptr || isFolder(full))
        return {shown + L" is a folder"};
    std::wstring folder = full.substr(0, static_cast<std::size_t>(filePart - full.data()));
    if (folder.size() > 3) // a folder's name without its separator; a root keeps it
        folder.pop_back();
    const std::wstring problem = folderProblem(folder);
    if (!problem.empty())
        return {L"the log file " + shown + L" cannot be written: " + problem};
    return {};
}

void addFileFinding(const profileReport& report, std::vector<std::wstring>& findings) {
    if (report.shown.mode == logNothing)
        return;
    const std::wstring key = productKeyFullName(report.profile) + L": logging is on but ";
    if (report.logFile.problem.empty() && storedText(report.logFile.stored).empty()) {
        findings.push_back(key + L"the log file name is empty");
        return;
    }
    // No name and no known default: the process that logs decides.
    if (report.shown.fileName.IsEmpty())
        return;
    for (const std::wstring& problem : logFileProblems(std::wstring(report.shown.fileName)))
        findings.push_back(key + problem);
}

void addDisagreements(const profileReport& user, const profileReport& other,
                      std::vector<std::wstring>& findings) {
    const auto differ = [&](const wchar_t* name, const std::wstring& first,
                            const std::wstring& second) {
        if (first != second)
            findings.push_back(std::wstring(L"the profiles disagree on ") + name + L": " +
                               printable(first) + L" (current user) and " + printable(second) +
                               L" (.DEFAULT)");
    };
    differ(debugDataTransferValue, std::to_wstring(user.shown.mode),
           std::to_wstring(other.shown.mode));
    // Each profile has a default of its own.
    if (!user.fileIsDefault && !other.fileIsDefault)
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
    addFileFinding(user, findings);
    addFileFinding(other, findings);
    for (const std::wstring& finding : findings)
        out.write(finding + L"\n");
    if (!findings.empty())
        return exitFailure;
    out.write(L"both profiles hold the same well-formed settings\n");
    return exitSuccess;
}
