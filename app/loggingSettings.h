#pragma once
// The three logging values of the product key, shared by the dialog and the command-line tool:
// their names and mode codes, where they live for each profile, and reading and writing them
// exactly as the dialog does.
#ifndef RC_INVOKED
#include "framework/CString.h"
#include "settings/registryKeyChain.h"

#include <windows.h>

// Logging mode codes stored in debugDataTransfer.
inline constexpr DWORD logInTarget = 3427;
inline constexpr DWORD logInGui = 5498;
inline constexpr DWORD logInTargetAndGui = 6138;
inline constexpr DWORD logNothing = 0;

inline constexpr const wchar_t* debugDataTransferValue = L"debugDataTransfer";
inline constexpr const wchar_t* debugLogFileValue = L"debugLogFile";
inline constexpr const wchar_t* debugLogFileWriteNewFileValue = L"debugLogFileWriteNewFile";

struct loggingSettings {
    DWORD mode = logNothing;
    CString fileName;
    int writeNewFile = 1;
};

// Opens Software\Tarnwick\Driftmarkx64 below root into chain, creating missing keys; the
// product key is chain.last().
[[nodiscard]] LSTATUS openProductKeyChain(registryKeyChain& chain, HKEY root, REGSAM access);
// The same below HKEY_USERS\.DEFAULT, for reading and writing.
[[nodiscard]] LSTATUS openDefaultUserProductKeyChain(registryKeyChain& chain);

// Reads the three values from an open product key into settings; each value that is missing
// or cannot be read keeps what settings held.
void readLoggingSettings(HKEY productKey, loggingSettings& settings);
// Writes the three values (REG_DWORD, REG_SZ, REG_DWORD); every write is attempted. Non-zero
// when all three succeeded. A failed write is reported into the trace file while diagnostic
// logging is on.
int writeLoggingSettings(HKEY productKey, const loggingSettings& settings);

// The file name the dialog offers when none is stored (its folders are created on the way).
CString defaultLogFileName();
// The same name, with nothing created: for readers that must leave no trace. Empty when the
// application data folder is not known.
CString defaultLogFileNameUncreated();
// The same name below another account's application data folder (nothing created); empty when
// it does not fit.
CString defaultLogFileNameUnder(const wchar_t* appData);
// Where a failed settings write is reported while diagnostic logging is on.
const wchar_t* loggingTracePath();

// Texts the dialog shows when it cannot store the values.
inline constexpr const wchar_t* registryFailureCaption = L"Unable to write to registry";
inline constexpr const wchar_t* registryOpenFailureText =
    L"Unable to open registry for writing logging data.\r\n"
    L"\r\n"
    L"Try running this tool as Administrator";
inline constexpr const wchar_t* registryWriteFailureText =
    L"Unable to write logging data to registry.\r\n"
    L"\r\n"
    L"Try running this tool as Administrator";
#endif
