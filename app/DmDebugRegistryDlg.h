#pragma once
// The logging settings dialog: shows the current user's stored logging mode, log file name and
// new-file flag, and writes the edited values to the current user and the .DEFAULT profile.
#ifndef RC_INVOKED
#include "app/loggingSettings.h"
#include "framework/CDialog.h"

#include <windows.h>
#include <shellapi.h>

class CDmDebugRegistryDlg : public CDialog {
public:
    explicit CDmDebugRegistryDlg(CWnd* parent = nullptr);
    ~CDmDebugRegistryDlg() override;

    // Opens Software\Tarnwick\Driftmarkx64 below HKEY_LOCAL_MACHINE (useLocalMachine non-zero)
    // or HKEY_CURRENT_USER, creating missing keys; read and write access only when forWriting
    // is 1. On failure every key opened on the way is closed again and the members stay null.
    int openProductKey(int useLocalMachine, int forWriting);
    // The same chain below HKEY_USERS\.DEFAULT, always for reading and writing.
    int openDefaultUserProductKey();
    // Closes the chain, product key first, and clears the four members.
    void closeProductKey();

    // Enables the file name and Browse while one of the three logging modes is chosen.
    void updateFileControls();

    // The shell call of Open Directory; tests replace it so that no window opens.
    using shellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static shellExecuteFunction shellExecute;

    HICON m_hIcon;
    HKEY m_hDefaultUserKey;
    HKEY m_hSoftwareKey;
    HKEY m_hCompanyKey;
    HKEY m_hProductKey;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnApply();
    void OnBrowse();
    void OnModeChanged();
    void OnOpenDirectory();

    DECLARE_MESSAGE_MAP()

private:
    void addAboutMenuEntry();
    void readStoredSettings(loggingSettings& settings);
    void showSettings(const loggingSettings& settings);
    DWORD checkedMode();
};

#endif
