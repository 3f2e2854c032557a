#include "cli/fileNames.h"

#include "cli/loggingProfiles.h"
#include "cli/textOutput.h"
#include "platform/fileFunctions.h"

#include <cwctype>
#include <string_view>

namespace {

bool isSeparator(wchar_t character) {
    return character == L'\\' || character == L'/';
}

bool sameText(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() &&
           ::CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// Length of a \\?\, \\.\ or \??\ prefix, else 0.
std::size_t devicePrefixLength(std::wstring_view path) {
    if (path.size() < 4)
        return 0;
    if (isSeparator(path[0]) && isSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        isSeparator(path[3]))
        return 4;
    return path.substr(0, 4) == L"\\??\\" ? 4 : 0;
}

bool isDriveRooted(std::wstring_view path) {
    return path.size() >= 3 &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && isSeparator(path[2]);
}

bool isUncAfterPrefix(std::wstring_view rest) {
    return rest.size() >= 4 && sameText(rest.substr(0, 3), L"UNC") && isSeparator(rest[3]);
}

// The parts of a path between separators.
std::vector<std::wstring_view> componentsOf(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= path.size(); ++at)
        if (at == path.size() || isSeparator(path[at])) {
            parts.push_back(path.substr(start, at - start));
            start = at + 1;
        }
    return parts;
}

// server\share\...: a share named pipe or mailslot reaches a pipe or a mailslot, not a file.
bool isIpcShare(std::wstring_view serverAndRest) {
    const std::vector<std::wstring_view> parts = componentsOf(serverAndRest);
    return parts.size() > 1 && (sameText(parts[1], L"pipe") || sameText(parts[1], L"mailslot"));
}

// The Win32 namespace takes these names as devices in any folder and with any extension
// (nul.txt, C:\logs\COM1.log); trailing blanks before the extension do not count.
bool isReservedDeviceName(std::wstring_view component) {
    std::wstring_view base = component.substr(0, component.find_first_of(L".:"));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    for (std::wstring_view name : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (sameText(base, name))
            return true;
    if (base.size() != 4 ||
        !(sameText(base.substr(0, 3), L"COM") || sameText(base.substr(0, 3), L"LPT")))
        return false;
    const wchar_t number = base[3];
    return (number >= L'0' && number <= L'9') || number == L'\u00B9' || number == L'\u00B2' ||
           number == L'\u00B3';
}

// A name in the device namespace that is not a path on a drive or a share, or a UNC path to
// a pipe or a mailslot: given on purpose, and never a file.
bool isDeviceNamespacePath(std::wstring_view path) {
    if (const std::size_t prefix = devicePrefixLength(path); prefix > 0) {
        const std::wstring_view rest = path.substr(prefix);
        if (isDriveRooted(rest))
            return false;
        return !isUncAfterPrefix(rest) || isIpcShare(rest.substr(4));
    }
    return path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]) &&
           isIpcShare(path.substr(2));
}

bool namesDevice(const std::wstring& path) {
    if (isDeviceNamespacePath(path))
        return true;
    if (devicePrefixLength(path) > 0)
        return false;
    if (isReservedDeviceName(componentsOf(path).back()))
        return true;
    // Whatever else the system maps into the device namespace.
    return fullPathName(path.c_str()).starts_with(L"\\\\.\\");
}

// Characters no file or folder name holds; ':' only after a drive letter.
std::wstring invalidCharacters(std::wstring_view path, bool literal) {
    std::size_t start = devicePrefixLength(path);
    if (isDriveRooted(path.substr(start)))
        start += 2;
    std::wstring found;
    for (std::size_t at = start; at < path.size(); ++at) {
        const wchar_t character = path[at];
        const bool invalid = character < 0x20 || std::wstring_view(L"\"*:<>?|").find(character) !=
                                                     std::wstring_view::npos;
        // Without normalisation (\\?\) a slash is part of the name.
        if ((invalid || (literal && character == L'/')) &&
            found.find(character) == std::wstring::npos)
            found += character;
    }
    return found;
}

} // namespace

std::wstring notAFileReason(const std::wstring& path) {
    if (namesDevice(path))
        return L"it is a device, not a file";
    if (isFolder(path.c_str()))
        return L"it is a folder";
    return {};
}

uniqueFileHandle openFileForReading(const std::wstring& path, std::wstring& reason) {
    reason = notAFileReason(path);
    if (!reason.empty())
        return {};
    // Without shared delete access nobody renames or deletes the name while it is held.
    uniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        reason = systemErrorText(::GetLastError());
    else if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        reason = systemErrorText(ERROR_BAD_FILE_TYPE);
    return reason.empty() ? std::move(file) : uniqueFileHandle();
}

std::vector<std::wstring> logFileNameProblems(const std::wstring& name) {
    if (name.empty())
        return {L"is empty"};
    if (isDeviceNamespacePath(name))
        return {};
    std::vector<std::wstring> problems;
    const bool literal = name.starts_with(L"\\\\?\\") || name.starts_with(L"\\??\\");
    if (const std::wstring found = invalidCharacters(name, literal); !found.empty()) {
        std::wstring listed;
        for (wchar_t character : found)
            listed += (listed.empty() ? L"" : L" ") + printable(std::wstring(1, character));
        problems.push_back(L"holds characters that no file name can hold: " + listed);
    }
    const std::wstring_view rest = std::wstring_view(name).substr(devicePrefixLength(name));
    const std::vector<std::wstring_view> parts = componentsOf(rest);
    for (std::size_t index = isDriveRooted(rest) ? 1 : 0; index < parts.size(); ++index)
        if (isReservedDeviceName(parts[index]))
            problems.push_back(L"uses the device name " + printable(std::wstring(parts[index])) +
                               L", which no file or folder can have");
    const std::wstring_view last = parts.back();
    if (last.empty() || last == L"." || last == L"..")
        problems.emplace_back(L"names a folder, not a file");
    else if (last.back() == L'.')
        problems.emplace_back(L"ends in a dot, which the system drops from file names");
    else if (last.back() == L' ')
        problems.emplace_back(L"ends in a space, which the system drops from file names");
    return problems;
}

namespace {

// Rooted (\logs, \\server\share) or with a drive and a root (C:\, C:/).
bool isFullPath(const std::wstring& path) {
    if (!path.empty() && isSeparator(path[0]))
        return true;
    return path.size() > 2 && std::iswalpha(path[0]) && path[1] == L':' && isSeparator(path[2]);
}

// %NAME% with a name that an environment variable can have.
bool holdsVariable(const std::wstring& name) {
    const std::size_t open = name.find(L'%');
    if (open == std::wstring::npos)
        return false;
    const std::size_t close = name.find(L'%', open + 1);
    return close != std::wstring::npos && close > open + 1 &&
           name.find_first_of(L"\\/", open) > close;
}

std::vector<std::wstring> pathProblems(const std::wstring& name, const std::wstring& shown) {
    if (!isFullPath(name))
        return {shown + L" is not a full path"};
    std::vector<std::wstring> problems;
    for (const std::wstring& problem : logFileNameProblems(name))
        problems.push_back(L"the log file " + shown + L" " + problem);
    if (!problems.empty())
        return problems;
    std::size_t fileNameAt = std::wstring::npos;
    const std::wstring full = fullPathName(name.c_str(), &fileNameAt);
    if (full.empty())
        return {shown + L" is not a valid path"};
    if (fileNameAt == std::wstring::npos || isFolder(full.c_str()))
        return {shown + L" is a folder"};
    std::wstring folder = full.substr(0, fileNameAt);
    if (folder.size() > 3) // a folder's name without its separator; a root keeps it
        folder.pop_back();
    const std::wstring problem = folderProblem(folder);
    if (!problem.empty())
        return {L"the log file " + shown + L" cannot be written: " + problem};
    return {};
}

} // namespace

std::vector<std::wstring> logFilePathProblems(const std::wstring& name) {
    const std::wstring shown = printable(name);
    std::vector<std::wstring> problems;
    if (holdsVariable(name))
        problems.push_back(shown + L" holds %VAR% text, which is stored and used as it is, not "
                                   L"expanded");
    for (std::wstring& problem : pathProblems(name, shown))
        problems.push_back(std::move(problem));
    return problems;
}
