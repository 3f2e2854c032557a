#include "framework/CDialog.h"

#include "framework/CWinApp.h"

namespace {
// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

// Ids from 0x8000 below the system command range are commands the application may handle.
bool isApplicationCommand(UINT id, int code) {
    return code == 0 && id >= 0x8000 && id < 0xF000;
}
} // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOKCommand)
ON_COMMAND(IDCANCEL, &CDialog::OnCancelCommand)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

HWND CDialog::ownerForModal() const {
    HWND owner = nullptr;
    if (m_pParentWnd != nullptr) {
        owner = m_pParentWnd->m_hWnd;
    } else if (const CWnd* mainWindow = AfxGetMainWnd(); mainWindow != this && mainWindow) {
        owner = mainWindow->m_hWnd;
    }
    if (owner == nullptr || !::IsWindow(owner))
        return nullptr;
    // A pop-up cannot be owned by a child window.
    return ::GetAncestor(owner, GA_ROOT);
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr || m_nIDHelp == 0)
        return -1;
    const wchar_t* name = MAKEINTRESOURCEW(m_nIDHelp);
    const INT_PTR result =
        ::DialogBoxParamW(AfxFindResourceHandle(name, RT_DIALOG), name, ownerForModal(),
                          &CDialog::dialogProcedure, reinterpret_cast<LPARAM>(this));
    releaseChildWrappers();
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog() {
    if (!UpdateData(FALSE)) {
        EndDialog(-1);
        return FALSE;
    }
    return TRUE;
}

void CDialog::EndDialog(int result) {
    if (m_hWnd != nullptr)
        ::EndDialog(m_hWnd, result);
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCmdMsg(UINT id, int code) {
    if (CWnd::OnCmdMsg(id, code))
        return TRUE;
    if (!isApplicationCommand(id, code))
        return FALSE;
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->OnCmdMsg(id, code) : FALSE;
}

INT_PTR CALLBACK CDialog::dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        if (dialog == nullptr)
            return FALSE;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    } else {
        // Messages before WM_INITDIALOG (the font, creation) find no object yet.
        dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
        if (dialog == nullptr)
            return FALSE;
    }

    try {
        return dialog->handleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's dialog manager.
        ::EndDialog(window, -1);
        return FALSE;
    }
}

INT_PTR CDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return OnInitDialog();
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        releaseChildWrappers();
        m_hWnd = nullptr;
        return FALSE;
    }

    LRESULT result = 0;
    if (!dispatchMessage(message, wParam, lParam, result))
        return FALSE;
    if (returnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
