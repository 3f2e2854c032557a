// Window-frame behaviour of the main dialog: the About entry of the system menu and the icon
// while minimised.
#include "app/DmDebugRegistryDlg.h"

#include "app/AboutDlg.h"
#include "framework/CWinApp.h"
#include "resources/resource.h"

void CDmDebugRegistryDlg::addAboutMenuEntry() {
    CMenu* systemMenu = GetSystemMenu(FALSE);
    if (systemMenu == nullptr)
        return;
    // With a zero buffer size LoadStringW hands out a pointer to the resource text itself.
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || text == nullptr)
        return;
    const CString aboutText(text, length);
    systemMenu->AppendMenu(MF_SEPARATOR);
    systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutText);
}

void CDmDebugRegistryDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    CDialog::OnSysCommand(id, lParam);
}

void CDmDebugRegistryDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(&client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CDmDebugRegistryDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}
