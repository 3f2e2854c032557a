#pragma once
// A cabinet (.cab) written through the system's Cabinet API (FCI of cabinet.dll, loaded from the
// system folder) straight into an open file, MSZIP-compressed, in one cabinet without spanning.
// Each member's bytes and FCI's own working files wait on disk, in files deleted when they are
// closed (so also when the process is killed): memory stays small whatever the members' sizes.
// Explorer and the system's expand tool open it.
#include "support/uniqueResource.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// What the format and FCI allow, and the bounds kept below them.
namespace cabinetLimits {
// A folder counts its data blocks in 16 bits; a block holds at most 32 KiB before compression.
inline constexpr ULONGLONG blocksPerFolder = 65535;
inline constexpr ULONGLONG blockBytes = 32768;
// A new folder starts before one would take more than this (before compression), and no member
// may be larger: a folder then counts about half the blocks it may.
inline constexpr ULONGLONG folderBytes = 1ull << 30;
// Sizes and offsets are 32-bit in the format, and FCI keeps a cabinet below 2 GiB.
inline constexpr ULONGLONG cabinetBytes = 0x7FFFFFFF;
// The members of a cabinet are counted in 16 bits.
inline constexpr ULONGLONG members = 65535;
} // namespace cabinetLimits

// The largest cabinet that members of these sizes (before compression) can make: bytes that do
// not compress are stored as they are, with the headers of their blocks, folders and members.
ULONGLONG largestCabinetFor(ULONGLONG memberBytes, ULONGLONG members);

class cabinetBuilder {
public:
    // cabinet: an empty file open for reading and writing, which stays the caller's. Working
    // files go to workFolder (ending in a separator).
    cabinetBuilder(HANDLE cabinet, const std::wstring& workFolder);
    ~cabinetBuilder();
    cabinetBuilder(const cabinetBuilder&) = delete;
    cabinetBuilder& operator=(const cabinetBuilder&) = delete;

    // ERROR_SUCCESS when the Cabinet API is loaded and the cabinet can take more, else why not.
    DWORD status() const;

    // Adds a member under name (ASCII, folders separated by backslashes, shorter than 256
    // characters), dated time (a UTC file time), with what fill writes to the fresh working file
    // it is given (open for writing, at its start). A failure of fill is returned as it is and
    // adds nothing; the cabinet can still take others. A member larger than a folder may hold is
    // refused with ERROR_FILE_TOO_LARGE, also without harm. Else ERROR_SUCCESS or the failure
    // that ends the cabinet; ERROR_FILE_TOO_LARGE when the cabinet would pass its size limit.
    [[nodiscard]] DWORD add(const std::string& name, const FILETIME& time,
                            const std::function<DWORD(HANDLE member)>& fill);
    [[nodiscard]] DWORD add(const std::string& name, const std::string& bytes,
                            const FILETIME& time);
    // Completes the cabinet in the file; nothing can be added afterwards.
    [[nodiscard]] DWORD finish();

private:
    struct state;
    std::unique_ptr<state> m_state;
};

// Writes all of bytes to file at its file pointer.
[[nodiscard]] DWORD writeAll(HANDLE file, const void* bytes, std::size_t size);
