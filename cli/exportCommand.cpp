// export: the product key of each chosen profile as a registry editor file.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/regFile.h"

#include "platform/fileFunctions.h"

namespace {

// Without a trailing separator, which a file's name would not take, except for a root.
std::wstring folderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return L".";
    const bool root = separator == 0 || path[separator - 1] == L':';
    return path.substr(0, root ? separator + 1 : separator);
}

// One line per stored value; a value that is not stored is reported instead.
int appendValues(std::wstring& text, const profileReport& report, textOutput& err) {
    int appended = 0;
    for (const valueReport* value : {&report.mode, &report.logFile, &report.deleteFirst}) {
        if (!value->stored.present) {
            err.write(L"logsmithctl: " + productKeyFullName(report.profile) + L": " + value->name +
                      L" is not stored; not exported\n");
            continue;
        }
        text += regQuoted(value->name) + L"=" + regData(value->stored.type, value->stored.bytes) +
                L"\r\n";
        ++appended;
    }
    return appended;
}

} // namespace

std::wstring exportedText(const std::string& scope, int& values, textOutput& err) {
    std::wstring text = std::wstring(regFileHeader) + L"\r\n";
    values = 0;
    for (const loggingProfile& profile : profilesOfScope(scope)) {
        const profileReport report = inspectProfile(profile);
        if (!report.keyExists) {
            err.write(L"logsmithctl: nothing stored in " + productKeyFullName(profile) +
                      L"; not exported\n");
            continue;
        }
        text += L"\r\n[" + productKeyFullName(profile) + L"]\r\n";
        values += appendValues(text, report, err);
    }
    return text + L"\r\n";
}

int exportCommand(const exportOptions& options, textOutput& out, textOutput& err) {
    const std::wstring shown = printable(options.file);
    std::wstring problem = notAFileReason(options.file);
    if (problem.empty())
        problem = folderProblem(folderOf(options.file));
    if (!problem.empty()) {
        err.write(L"logsmithctl: cannot write " + shown + L": " + problem +
                  L"; nothing was written\n");
        return exitFailure;
    }
    int values = 0;
    const std::wstring text = exportedText(options.scope, values, err);
    if (values == 0) {
        err.write(L"logsmithctl: nothing to export; " + shown + L" was not written\n");
        return exitFailure;
    }
    const std::string bytes = regFileBytes(text);
    const DWORD error =
        replaceFileContents(options.file.c_str(), bytes.data(), static_cast<DWORD>(bytes.size()));
    if (error != ERROR_SUCCESS) {
        err.write(L"logsmithctl: cannot write " + shown + L": " + systemErrorText(error) +
                  L"; nothing was changed\n");
        return exitFailure;
    }
    out.write(L"exported to " + shown + L"\n");
    return exitSuccess;
}
