#pragma once
// Shows a text (a log file's content) read-only under a given caption.
#ifndef RC_INVOKED
#include "framework/CDialog.h"
#include "framework/CString.h"

class CLogFileBrowserDialog : public CDialog {
public:
    explicit CLogFileBrowserDialog(CWnd* parent = nullptr);
    ~CLogFileBrowserDialog() override = default;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CString m_text;
    CString m_title;

protected:
    void OnCancel() override;

    DECLARE_MESSAGE_MAP()
};

#endif
