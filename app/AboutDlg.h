#pragma once
// The about box, opened from the main dialog's system menu.
#ifndef RC_INVOKED
#include "framework/CDialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
#endif
