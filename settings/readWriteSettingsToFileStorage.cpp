// Loading and saving the settings file.
#include "settings/readWriteSettingsToFile.h"

#include "platform/fileFunctions.h"
#include "settings/fileBuffer.h"
#include "support/win32Errors.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <new>

namespace {

settingsFileCalls g_calls = systemFileReplaceCalls();

// Another process replacing the file holds it for a moment; a load waits about a second.
constexpr int loadAttempts = 50;
constexpr DWORD loadPauseMs = 20;

// The name the notes are kept under; the name as given where the system cannot resolve it.
std::wstring fullPath(const wchar_t* name) {
    std::wstring full = fullPathName(name);
    return full.empty() ? std::wstring(name) : full;
}

// Same text apart from case; two spellings of one file on disk are not recognised.
bool samePathText(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
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

} // namespace

settingsFileCalls setSettingsFileCalls(settingsFileCalls calls) {
    const settingsFileCalls previous = g_calls;
    const fileReplaceCalls system = systemFileReplaceCalls();
    g_calls.create = calls.create != nullptr ? calls.create : system.create;
    g_calls.write = calls.write != nullptr ? calls.write : system.write;
    g_calls.flush = calls.flush != nullptr ? calls.flush : system.flush;
    g_calls.close = calls.close != nullptr ? calls.close : system.close;
    g_calls.replace = calls.replace != nullptr ? calls.replace : system.replace;
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
        const DWORD error =
            replaceFileInOneStep(target.c_str(), image.getData(), image.getSize(),
                                 keepOld ? (target + L".bak").c_str() : nullptr, g_calls);
        if (error != ERROR_SUCCESS) {
            ::SetLastError(error);
            return 0;
        }
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
                         [&](const fileNote& kept) { return samePathText(kept.path, path); });
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
        if (samePathText(kept.path, fullName))
            return kept.note;
    return noteNone;
}

void readWriteSettingsToFile::forgetNote(const std::wstring& fullName) {
    std::erase_if(fileNotes,
                  [&](const fileNote& kept) { return samePathText(kept.path, fullName); });
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
