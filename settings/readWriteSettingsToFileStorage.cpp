// Loading and saving the settings file.
#include "settings/readWriteSettingsToFile.h"

#include "settings/fileBuffer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <new>

namespace {

settingsFileCalls g_calls = {::CreateFileW, ::WriteFile, ::FlushFileBuffers, ::CloseHandle,
                             ::MoveFileExW};

// Scanners and indexers hold a file for a moment; the rename is retried for about this long.
constexpr int replaceAttempts = 10;
constexpr DWORD replacePauseMs = 10;

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

// A fresh file beside target, opened for writing and shared with nobody.
HANDLE createTemporary(const std::wstring& target, std::wstring& name) {
    static std::atomic<unsigned> s_counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[40];
        std::swprintf(suffix, sizeof(suffix) / sizeof(suffix[0]), L".%lx-%x.tmp",
                      ::GetCurrentProcessId(), ++s_counter);
        name = target + suffix;
        const HANDLE file = g_calls.create(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Writes, flushes and closes; the handle is closed whatever happens.
bool writeAndClose(HANDLE file, const unsigned char* data, DWORD size) {
    DWORD written = 0;
    bool ok = g_calls.write(file, data, size, &written, nullptr) != FALSE;
    if (ok && written != size) {
        ::SetLastError(ERROR_WRITE_FAULT);
        ok = false;
    }
    if (ok)
        ok = g_calls.flush(file) != FALSE;
    if (!ok) {
        const lastErrorKeeper keep;
        g_calls.close(file);
        return false;
    }
    return g_calls.close(file) != FALSE;
}

bool replaceTarget(const std::wstring& temporary, const std::wstring& target) {
    for (int attempt = 1;; ++attempt) {
        if (g_calls.replace(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if (attempt == replaceAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return false;
        ::Sleep(replacePauseMs);
        ::SetLastError(error);
    }
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
    const bool ok = writeAndClose(file, data, size) && (!keepOld || keepOldFile(target, backup)) &&
                    replaceTarget(temporary, target);
    if (!ok) {
        const lastErrorKeeper keep;
        ::DeleteFileW(temporary.c_str());
    }
    return ok;
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
    if (!buffer.readFile(name, nullptr)) {
        const lastErrorKeeper keep;
        // A file that is there but could not be read is kept before it is next overwritten.
        if (name != nullptr && !isMissing(::GetLastError()))
            keepOnNextSave(name);
        return 0;
    }
    bool complete = false;
    const int result = loadFromBuffer(buffer, &complete);
    if (!complete) {
        const lastErrorKeeper keep;
        keepOnNextSave(name);
    }
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
        const bool keepOld = mustKeep(target);
        if (!writeFileInOneStep(target, image.getData(), image.getSize(), keepOld))
            return 0;
        if (keepOld)
            forgetKeepRequest(target);
        return 1;
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

void readWriteSettingsToFile::keepOnNextSave(const wchar_t* name) {
    try {
        const std::wstring path = fullPath(name);
        if (!mustKeep(path))
            keepBeforeSave.push_back(path);
    } catch (const std::bad_alloc&) {
        // Without memory for the note the next save goes ahead as usual.
    }
}

bool readWriteSettingsToFile::mustKeep(const std::wstring& fullName) const {
    return std::any_of(keepBeforeSave.begin(), keepBeforeSave.end(),
                       [&](const std::wstring& kept) { return sameFile(kept, fullName); });
}

void readWriteSettingsToFile::forgetKeepRequest(const std::wstring& fullName) {
    std::erase_if(keepBeforeSave,
                  [&](const std::wstring& kept) { return sameFile(kept, fullName); });
}
