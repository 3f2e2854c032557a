#include "framework/CWinApp.h"

#include <vector>

namespace {
CWinApp* currentApp = nullptr;
HINSTANCE resourceHandle = nullptr;

// The program file's name without folder and extension, e.g. "Logsmith".
CString moduleBaseName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0)
            return CString();
        if (length < size)
            break;
        // Truncated: try again with more room, up to the longest path the system has.
        if (size >= 32768)
            return CString();
        path.resize(path.size() * 2);
    }
    CString name(path.data());
    name = name.Mid(name.ReverseFind(L'\\') + 1);
    const int dot = name.ReverseFind(L'.');
    return dot > 0 ? name.Left(dot) : name;
}

bool hasFlag(DWORD flags, DWORD flag) {
    return (flags & flag) != 0;
}
} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const wchar_t* appName) : m_previousApp(currentApp) {
    m_appName = appName != nullptr ? CString(appName) : moduleBaseName();
    m_pszAppName = m_appName;
    currentApp = this;
}

CWinApp::~CWinApp() {
    if (currentApp == this)
        currentApp = m_previousApp;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

BOOL CWinApp::SupportsRestartManager() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_SUPPORT_RESTART);
}

BOOL CWinApp::SupportsApplicationRecovery() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_SUPPORT_RECOVERY);
}

BOOL CWinApp::SupportsAutosaveAtRestart() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_AUTOSAVE_AT_RESTART);
}

BOOL CWinApp::SupportsAutosaveAtInterval() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_AUTOSAVE_AT_INTERVAL);
}

BOOL CWinApp::ReopenPreviousFilesAtRestart() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_REOPEN_PREVIOUS_FILES);
}

BOOL CWinApp::RestoreAutosavedFilesAtRestart() const {
    return hasFlag(m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_RESTORE_AUTOSAVED_FILES);
}

DWORD CWinApp::GetApplicationRestartFlags() {
    return 0;
}

LPVOID CWinApp::GetApplicationRecoveryParameter() {
    return nullptr;
}

DWORD CWinApp::GetApplicationRecoveryPingInterval() {
    return 5000;
}

int CWinApp::Run() {
    if (m_pMainWnd == nullptr || !::IsWindow(m_pMainWnd->m_hWnd))
        return ExitInstance();
    MSG message;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            m_exitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got == -1) {
            m_exitCode = -1;
            break;
        }
        HWND mainWindow = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
        if (mainWindow != nullptr && ::IsDialogMessageW(mainWindow, &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return m_exitCode;
}

HICON CWinApp::LoadIcon(UINT id) const {
    const wchar_t* name = MAKEINTRESOURCEW(id);
    return ::LoadIconW(AfxFindResourceHandle(name, RT_GROUP_ICON), name);
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return currentApp;
}

CWnd* AfxGetMainWnd() {
    return currentApp != nullptr ? currentApp->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetResourceHandle() {
    return resourceHandle != nullptr ? resourceHandle : ::GetModuleHandleW(nullptr);
}

void AfxSetResourceHandle(HINSTANCE resources) {
    resourceHandle = resources;
}

HINSTANCE AfxFindResourceHandle(const wchar_t*, const wchar_t*) {
    return AfxGetResourceHandle();
}

int AfxWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
               int showCommand) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    app->m_hInstance = instance;
    app->m_hPrevInstance = previousInstance;
    app->m_lpCmdLine = commandLine;
    app->m_nCmdShow = showCommand;
    if (instance != nullptr)
        AfxSetResourceHandle(instance);

    try {
        if (!app->InitInstance()) {
            if (app->m_pMainWnd != nullptr)
                app->m_pMainWnd->DestroyWindow();
            return app->ExitInstance();
        }
        return app->Run();
    } catch (...) {
        return -1;
    }
}
