// Loading the settings file from disk and saving it back, and what a load notes for the next
// save to the same name.
#include "settings/readWriteSettingsToFile.h"

#include "platform/fileFunctions.h"
#include "settings/fileBuffer.h"
#include "support/win32Errors.h"

#include <algorithm>
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
            noteFile(name, isMissing(error) ? noteNone : lastErrorOr(ERROR_READ_FAULT));
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
