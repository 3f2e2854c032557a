#pragma once
// Modal dialogs from dialog templates in the resources. The dialog procedure binds the object to
// its window at WM_INITDIALOG and hands every later message to the class's message map.
#ifndef RC_INVOKED
#include "framework/CWnd.h"

class CDialog : public CWnd {
public:
    // For dialogs that bring their own window (the common file dialog).
    CDialog() = default;
    // parent: owner of the dialog; with none, the application's main window owns it.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override = default;

    // Runs the dialog until EndDialog; its result, or -1 when the dialog could not be shown
    // (no such template, or already running).
    virtual INT_PTR DoModal();
    // Fills the controls through DoDataExchange; TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();

    void EndDialog(int result);

    UINT m_nIDHelp = 0; // the template id
    CWnd* m_pParentWnd = nullptr;

protected:
    // OK: takes the data from the controls and closes with IDOK unless the exchange failed.
    virtual void OnOK();
    // Cancel, Escape and the close box: closes with IDCANCEL.
    virtual void OnCancel();

    // Unhandled commands of the command id range go on to the application's map.
    BOOL OnCmdMsg(UINT id, int code) override;

    // The window that owns a modal dialog or common dialog of this object.
    HWND ownerForModal() const;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }
};

#endif
