#pragma once
// Shows a text (a log file's content) read-only under a given caption. The dialog template and
// its read-only edit box come from the resources of the program that shows it.
#ifndef RC_INVOKED
#include "framework/CDialog.h"
#include "framework/CString.h"

class CLogFileBrowserDialog : public CDialog {
public:
    CLogFileBrowserDialog(UINT templateId, int textControlId, CWnd* parent = nullptr);
    ~CLogFileBrowserDialog() override = default;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CString m_text;
    CString m_title;

protected:
    void OnCancel() override;

private:
    int m_textControlId;

    DECLARE_MESSAGE_MAP()
};

#endif
