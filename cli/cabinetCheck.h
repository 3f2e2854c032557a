#pragma once
// Reads a written cabinet back with the system's decompressor (FDI of cabinet.dll, loaded from
// the system folder), so that an archive is only ever called collected once it has been opened.
#include <windows.h>

#include <string>
#include <vector>

struct cabinetMember {
    std::string name;
    ULONGLONG size = 0;
    // 64 lower-case hex digits.
    std::string sha256;
};

// Checks that the cabinet in file (open for reading; read at positions, its file pointer is left
// alone) holds exactly members, each with its size and SHA-256. ERROR_SUCCESS; ERROR_INVALID_DATA
// with what is wrong in problem; or the system's code for what kept it from reading the cabinet.
[[nodiscard]] DWORD checkCabinet(HANDLE file, const std::vector<cabinetMember>& members,
                                 std::wstring& problem);
