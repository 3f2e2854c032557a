#pragma once
// The application object and the framework's entry: one CWinApp-derived object per process,
// constructed before the entry point; AfxWinMain runs its InitInstance.
#ifndef RC_INVOKED
#include "framework/CCmdTarget.h"
#include "framework/CString.h"
#include "framework/CWnd.h"

#include <windows.h>

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// Restart-manager support flags of CWinApp::m_dwRestartManagerSupportFlags.
#define AFX_RESTART_MANAGER_SUPPORT_RESTART 0x01
#define AFX_RESTART_MANAGER_SUPPORT_RECOVERY 0x02
#define AFX_RESTART_MANAGER_AUTOSAVE_AT_RESTART 0x04
#define AFX_RESTART_MANAGER_AUTOSAVE_AT_INTERVAL 0x08
#define AFX_RESTART_MANAGER_REOPEN_PREVIOUS_FILES 0x10
#define AFX_RESTART_MANAGER_RESTORE_AUTOSAVED_FILES 0x20

class CWinApp : public CCmdTarget {
public:
    // appName null: the name of the program file without its extension.
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    DECLARE_MESSAGE_MAP()

public:
    // FALSE ends the application without a message loop.
    virtual BOOL InitInstance();

    // Restart-manager queries; each tests one support flag.
    virtual BOOL SupportsRestartManager() const;
    virtual BOOL SupportsApplicationRecovery() const;
    virtual BOOL SupportsAutosaveAtRestart() const;
    virtual BOOL SupportsAutosaveAtInterval() const;
    virtual BOOL ReopenPreviousFilesAtRestart() const;
    virtual BOOL RestoreAutosavedFilesAtRestart() const;
    virtual DWORD GetApplicationRestartFlags();
    virtual LPVOID GetApplicationRecoveryParameter();
    virtual DWORD GetApplicationRecoveryPingInterval();

    // The message loop: runs until WM_QUIT, or ends at once when there is no main window.
    virtual int Run();
    // The process exit code.
    virtual int ExitInstance();

    // An icon resource of the program.
    HICON LoadIcon(UINT id) const;

    // The help command. No help file ships with the program, so there is nothing to show.
    void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    HINSTANCE m_hPrevInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    const wchar_t* m_pszAppName = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;

private:
    CString m_appName;
    CWinApp* m_previousApp;
    int m_exitCode = 0;
};

// The application object, or null when none exists.
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();

// The module that holds the program's resources: the program file unless set otherwise.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
// The module holding a given resource; the program keeps all its resources in one module.
HINSTANCE AfxFindResourceHandle(const wchar_t* name, const wchar_t* type);

// The framework's entry, called by wWinMain with its four arguments unchanged. Returns the exit
// code: ExitInstance's, or -1 when there is no application object.
int AfxWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);

#endif
