#include "platform/LogFileBrowserDialog.h"

#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CLogFileBrowserDialog, CDialog)
END_MESSAGE_MAP()

CLogFileBrowserDialog::CLogFileBrowserDialog(CWnd* parent)
    : CDialog(IDD_LOG_FILE_BROWSER, parent) {}

void CLogFileBrowserDialog::DoDataExchange(CDataExchange*) {}

BOOL CLogFileBrowserDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_LOG_FILE_TEXT, m_text);
    SetWindowText(m_title);
    return TRUE;
}

// Close, Escape and the close box all end here.
void CLogFileBrowserDialog::OnCancel() {
    CDialog::OnCancel();
}
