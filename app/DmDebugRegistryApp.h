#pragma once
// The application object: runs the logging settings dialog once and ends.
#ifndef RC_INVOKED
#include "framework/CWinApp.h"

class CDmDebugRegistryApp : public CWinApp {
public:
    CDmDebugRegistryApp();

    // Runs the dialog modally; always FALSE, so no message loop follows.
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
#endif
