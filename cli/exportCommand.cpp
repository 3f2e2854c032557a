// export: the product key of each chosen profile as a registry editor file.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/regFile.h"

#include "support/uniqueResource.h"

namespace {

std::wstring folderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator + 1);
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void appendValue(std::wstring& text, const valueReport& value) {
    if (value.stored.present)
        text +=
            regQuoted(value.name) + L"=" + regData(value.stored.type, value.stored.bytes) + L"\r\n";
}

// Written whole: a failed write leaves no half file behind.
DWORD writeWholeFile(const std::wstring& path, const std::string& bytes) {
    uniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        const DWORD error =
            ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_WRITE_FAULT;
        file.reset();
        ::DeleteFileW(path.c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

} // namespace

int exportCommand(const exportOptions& options, textOutput& out, textOutput& err) {
    if (!isFolder(folderOf(options.file))) {
        err.write(L"logsmithctl: cannot write " + options.file +
                  L": its folder does not exist; nothing was written\n");
        return exitFailure;
    }
    std::wstring text = std::wstring(regFileHeader) + L"\r\n";
    for (loggingProfile profile : profilesOfScope(options.scope)) {
        const profileReport report = inspectProfile(profile);
        if (!report.keyExists) {
            err.write(L"logsmithctl: nothing stored in " + productKeyFullName(profile) +
                      L"; not exported\n");
            continue;
        }
        text += L"\r\n[" + productKeyFullName(profile) + L"]\r\n";
        appendValue(text, report.mode);
        appendValue(text, report.logFile);
        appendValue(text, report.deleteFirst);
    }
    text += L"\r\n";
    const DWORD error = writeWholeFile(options.file, regFileBytes(text));
    if (error != ERROR_SUCCESS) {
        err.write(L"logsmithctl: cannot write " + options.file + L": " + systemErrorText(error) +
                  L"\n");
        return exitFailure;
    }
    out.write(L"exported to " + options.file + L"\n");
    return exitSuccess;
}
