#pragma once
// The logging settings dialog.
#ifndef RC_INVOKED
#include <windows.h>

class CDmDebugRegistryDlg {
public:
    CDmDebugRegistryDlg();
    virtual ~CDmDebugRegistryDlg();

    CDmDebugRegistryDlg(const CDmDebugRegistryDlg&) = delete;
    CDmDebugRegistryDlg& operator=(const CDmDebugRegistryDlg&) = delete;

    // Opens Software\Tarnwick\Driftmarkx64 below HKEY_LOCAL_MACHINE (useLocalMachine non-zero)
    // or HKEY_CURRENT_USER, creating missing keys; read and write access only when forWriting
    // is 1. On failure every key opened on the way is closed again and the members stay null.
    int openProductKey(int useLocalMachine, int forWriting);
    // The same chain below HKEY_USERS\.DEFAULT, always for reading and writing.
    int openDefaultUserProductKey();
    // Closes the chain, product key first, and clears the four members.
    void closeProductKey();

    HKEY m_hDefaultUserKey;
    HKEY m_hSoftwareKey;
    HKEY m_hCompanyKey;
    HKEY m_hProductKey;
};
#endif
