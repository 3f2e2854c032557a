// Loading and saving the settings file.
#include "settings/readWriteSettingsToFile.h"

#include "settings/fileBuffer.h"
#include "support/uniqueResource.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <new>

namespace {

settingsFileCalls g_calls = {::CreateFileW, ::WriteFile, ::FlushFileBuffers, ::CloseHandle,
                             ::MoveFileExW};

// Scanners and indexers hold a file for a moment; the rename is retried for about this long.
constexpr int replaceAttempts = 10;
constexpr DWORD replacePauseMs = 10;
// Another process replacing the file holds it for a moment; a load waits about a second.
constexpr int loadAttempts = 50;
constexpr DWORD loadPauseMs = 20;

// Keeps the first failure's code across the clean-up calls that follow it.
class lastErrorKeeper {
public:
    lastErrorKeeper() : m_error(::GetLastError()) {}
    ~lastErrorKeeper() { ::SetLastError(m_error); }
    lastErrorKeeper(const lastErrorKeeper&) = delete;
    lastErrorKeeper& operator=(const lastErrorKeeper&) = delete;

private:
    DWORD m_error;
};

std::wstring fullPath(const wchar_t* name) {
    const DWORD needed = ::GetFullPathNameW(name, 0, nullptr, nullptr);
    if (needed == 0)
        return name;
    std::wstring path(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(name, needed, path.data(), nullptr);
    if (length == 0 || length >= needed)
        return name;
    path.resize(length);
    return path;
}

bool sameFile(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool isFolder(const wchar_t* name) {
    const DWORD attributes = ::GetFileAttributesW(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A conflict that passes: another process holds the file, or (on Windows) is replacing it.
bool isPassingConflict(DWORD error, const wchar_t* name) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           (error == ERROR_ACCESS_DENIED && !isFolder(name));
}

// The whole file, retried while another process holds it.
bool readSettingsFile(fileBuffer& buffer, const wchar_t* name) {
    for (int attempt = 1;; ++attempt) {
        if (buffer.readFile(name, nullptr))
            return true;
        const DWORD error = ::GetLastError();
        if (attempt == loadAttempts || !isPassingConflict(error, name))
            return false;
        ::Sleep(loadPauseMs);
        ::SetLastError(error);
    }
}

// A temporary marked for deletion goes with its handle, also when the process is killed.
void markForDeletion(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

constexpr const wchar_t* temporaryFormat = L".%lx-%x.tmp";

// A fresh file beside target, open for writing and for the rename, shared with nobody but
// the rename, and marked for deletion until it replaces target.
HANDLE createTemporary(const std::wstring& target, std::wstring& name) {
    static std::atomic<unsigned> s_counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[40];
        std::swprintf(suffix, sizeof(suffix) / sizeof(suffix[0]), temporaryFormat,
                      ::GetCurrentProcessId(), ++s_counter);
        name = target + suffix;
        const HANDLE file = g_calls.create(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            markForDeletion(file, true);
            return file;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAndFlush(HANDLE file, const unsigned char* data, DWORD size) {
    DWORD written = 0;
    if (!g_calls.write(file, data, size, &written, nullptr))
        return false;
    if (written != size) {
        ::SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return g_calls.flush(file) != FALSE;
}

// The temporary is unmarked only for the instant of each rename, so a kill leaves it behind
// only when it falls inside that one call.
bool replaceTarget(HANDLE file, const std::wstring& temporary, const std::wstring& target) {
    for (int attempt = 1;; ++attempt) {
        markForDeletion(file, false);
        if (g_calls.replace(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        markForDeletion(file, true);
        if (attempt == replaceAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) {
            ::SetLastError(error);
            return false;
        }
        ::Sleep(replacePauseMs);
    }
}

// Moves past one or more hexadecimal digits; false when there are none.
bool skipHexDigits(const wchar_t*& text) {
    const wchar_t* start = text;
    while (std::iswxdigit(*text))
        ++text;
    return text != start;
}

// Whether fileName is "<target name>.<hex>-<hex>.tmp", as createTemporary names them.
bool isTemporaryOf(const std::wstring& targetName, const wchar_t* fileName) {
    if (std::wcslen(fileName) <= targetName.size() ||
        ::CompareStringOrdinal(fileName, static_cast<int>(targetName.size()), targetName.c_str(),
                               static_cast<int>(targetName.size()), TRUE) != CSTR_EQUAL)
        return false;
    const wchar_t* rest = fileName + targetName.size();
    return *rest++ == L'.' && skipHexDigits(rest) && *rest++ == L'-' && skipHexDigits(rest) &&
           ::CompareStringOrdinal(rest, -1, L".tmp", -1, TRUE) == CSTR_EQUAL;
}

// Temporaries that a killed save left beside target. One that a live save still has open
// cannot be opened without sharing, so it is never touched. Best effort: without memory for the
// names nothing is removed.
void removeLeftTemporaries(const std::wstring& target) noexcept try {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring targetName = target.substr(folder.size());
    WIN32_FIND_DATAW entry{};
    const uniqueFindHandle search(::FindFirstFileW((target + L".*.tmp").c_str(), &entry));
    if (!search)
        return;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !isTemporaryOf(targetName, entry.cFileName))
            continue;
        // Deleted when this handle closes; opening fails while anyone else has it open.
        const uniqueFileHandle left(
            ::CreateFileW((folder + entry.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    } while (::FindNextFileW(search.get(), &entry));
} catch (const std::bad_alloc&) {
}

// Copies what is at target to backup (replacing an older copy); a missing target has nothing
// to keep.
bool keepOldFile(const std::wstring& target, const std::wstring& backup) {
    if (::CopyFileW(target.c_str(), backup.c_str(), FALSE))
        return true;
    return isMissing(::GetLastError());
}

// Puts the image in place of target in one step: a temporary file beside it, flushed, then
// renamed over it. On failure target is as it was and the temporary file is gone. Nothing is
// allocated once the temporary file exists, so nothing can throw past its removal.
bool writeFileInOneStep(const std::wstring& target, const unsigned char* data, DWORD size,
                        bool keepOld) {
    const std::wstring backup = keepOld ? target + L".bak" : std::wstring();
    std::wstring temporary;
    const HANDLE file = createTemporary(target, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = writeAndFlush(file, data, size) && (!keepOld || keepOldFile(target, backup)) &&
                    replaceTarget(file, temporary, target);
    if (!ok) {
        const lastErrorKeeper keep;
        markForDeletion(file, true);
        g_calls.close(file);
        // Where the file system cannot mark a file for deletion.
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    // The image is flushed and in place: a failing close takes nothing from it.
    g_calls.close(file);
    removeLeftTemporaries(target);
    return true;
}

} // namespace

settingsFileCalls setSettingsFileCalls(settingsFileCalls calls) {
    const settingsFileCalls previous = g_calls;
    g_calls.create = calls.create != nullptr ? calls.create : ::CreateFileW;
    g_calls.write = calls.write != nullptr ? calls.write : ::WriteFile;
    g_calls.flush = calls.flush != nullptr ? calls.flush : ::FlushFileBuffers;
    g_calls.close = calls.close != nullptr ? calls.close : ::CloseHandle;
    g_calls.replace = calls.replace != nullptr ? calls.replace : ::MoveFileExW;
    return previous;
}

int readWriteSettingsToFile::load(const wchar_t* name) {
    clear();
    fileBuffer buffer;
    if (!readSettingsFile(buffer, name)) {
        const lastErrorKeeper keep;
        // What a file holds that could not be read is unknown: saving over it is refused.
        const DWORD error = ::GetLastError();
        if (name != nullptr)
            noteFile(name, isMissing(error) ? noteNone : (error != 0 ? error : ERROR_READ_FAULT));
        return 0;
    }
    bool complete = false;
    const int result = loadFromBuffer(buffer, &complete);
    const lastErrorKeeper keep;
    if (result == 0 && ::GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
        noteFile(name, ERROR_NOT_ENOUGH_MEMORY);
    else
        noteFile(name, complete ? noteNone : noteKeepOldFile);
    return result;
}

int readWriteSettingsToFile::loadFromBuffer(fileBuffer& buffer, bool* complete) {
    clear();
    if (complete != nullptr)
        *complete = false;
    buffer.rewind();
    std::uint32_t count = 0;
    if (!buffer.read(count)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    // Each record comes from the bytes present, so a huge count ends at the first record that
    // is not there.
    for (std::uint32_t index = 0; index < count; ++index) {
        std::unique_ptr<settingRecord, recordDeleter> record(new settingRecord);
        if (!record) {
            clear();
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        if (!record->readFrom(buffer)) {
            if (::GetLastError() != ERROR_NOT_ENOUGH_MEMORY)
                return 1;
            clear();
            return 0;
        }
        try {
            // A saved file is in name order: each record then goes to the end without a search.
            const wchar_t* name = record->getName();
            if (records.empty() || records.key_comp()(std::prev(records.end())->first, name))
                records.emplace_hint(records.end(), name, std::move(record));
            else
                records[name] = std::move(record); // a later record of the same name wins
        } catch (const std::bad_alloc&) {
            clear();
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    if (complete != nullptr)
        *complete = buffer.tell() == buffer.getSize();
    return 1;
}

int readWriteSettingsToFile::saveToBuffer(fileBuffer& buffer) const {
    // The buffer grows by a fixed step; room for the whole image up front keeps a large store
    // from being copied over and over as it grows.
    std::uint64_t bytes = sizeof(std::uint32_t);
    for (const auto& entry : records) {
        const settingRecord& record = *entry.second;
        const std::size_t name = record.getName() != nullptr ? std::wcslen(record.getName()) : 0;
        bytes += 3 * sizeof(std::uint32_t) + (name + 1) * sizeof(wchar_t) + record.getSize();
    }
    // One byte more: a write that ends exactly at the block's end would grow it once again.
    if (records.size() > 0xFFFFFFFFu || bytes >= 0xFFFFFFFFu ||
        !buffer.reserve(static_cast<DWORD>(bytes + 1))) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(records.size());
    if (!buffer.write(count))
        return 0;
    for (const auto& entry : records)
        if (!entry.second->writeTo(buffer))
            return 0;
    return 1;
}

int readWriteSettingsToFile::save(const wchar_t* name) {
    if (name == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    fileBuffer image;
    // A store whose image cannot be built whole is not written at all.
    if (!saveToBuffer(image)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    try {
        const std::wstring target = fullPath(name);
        const DWORD note = unrecordedRefusal != 0 ? unrecordedRefusal : noteOn(target);
        if (note != noteNone && note != noteKeepOldFile) {
            ::SetLastError(note);
            return 0;
        }
        const bool keepOld = note == noteKeepOldFile;
        if (!writeFileInOneStep(target, image.getData(), image.getSize(), keepOld))
            return 0;
        if (keepOld)
            forgetNote(target);
        return 1;
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

void readWriteSettingsToFile::noteFile(const wchar_t* name, DWORD note) {
    if (note == noteNone && fileNotes.empty() && unrecordedRefusal == 0)
        return;
    try {
        const std::wstring path = fullPath(name);
        if (note == noteNone) {
            forgetNote(path);
            unrecordedRefusal = 0;
            return;
        }
        const auto found =
            std::find_if(fileNotes.begin(), fileNotes.end(),
                         [&](const fileNote& kept) { return sameFile(kept.path, path); });
        if (found != fileNotes.end())
            found->note = note;
        else
            fileNotes.push_back({path, note});
    } catch (const std::bad_alloc&) {
        // Without memory for the note a refusal still holds, for every name; a request to keep
        // the old file is dropped and the next save goes ahead as usual.
        if (note != noteKeepOldFile)
            unrecordedRefusal = note;
    }
}

DWORD readWriteSettingsToFile::noteOn(const std::wstring& fullName) const {
    for (const fileNote& kept : fileNotes)
        if (sameFile(kept.path, fullName))
            return kept.note;
    return noteNone;
}

void readWriteSettingsToFile::forgetNote(const std::wstring& fullName) {
    std::erase_if(fileNotes, [&](const fileNote& kept) { return sameFile(kept.path, fullName); });
}

void readWriteSettingsToFile::forgetRefusal(const wchar_t* name) {
    unrecordedRefusal = 0;
    if (name == nullptr)
        return;
    try {
        const std::wstring path = fullPath(name);
        const DWORD note = noteOn(path);
        if (note != noteNone && note != noteKeepOldFile)
            forgetNote(path);
    } catch (const std::bad_alloc&) {
        // The refusal stays; the caller can set the name again.
    }
}
