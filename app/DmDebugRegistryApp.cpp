#include "app/DmDebugRegistryApp.h"

#include "app/DmDebugRegistryDlg.h"

BEGIN_MESSAGE_MAP(CDmDebugRegistryApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CDmDebugRegistryApp::CDmDebugRegistryApp() : CWinApp(nullptr) {}

BOOL CDmDebugRegistryApp::InitInstance() {
    CDmDebugRegistryDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    // The dialog is gone once this returns.
    m_pMainWnd = nullptr;
    return FALSE;
}
