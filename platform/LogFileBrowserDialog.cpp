#include "platform/LogFileBrowserDialog.h"

BEGIN_MESSAGE_MAP(CLogFileBrowserDialog, CDialog)
END_MESSAGE_MAP()

CLogFileBrowserDialog::CLogFileBrowserDialog(UINT templateId, int textControlId, CWnd* parent)
    : CDialog(templateId, parent), m_textControlId(textControlId) {}

void CLogFileBrowserDialog::DoDataExchange(CDataExchange*) {}

BOOL CLogFileBrowserDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(m_textControlId, m_text);
    SetWindowText(m_title);
    return TRUE;
}

// Close, Escape and the close box all end here.
void CLogFileBrowserDialog::OnCancel() {
    CDialog::OnCancel();
}
