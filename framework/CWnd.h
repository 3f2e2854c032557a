#pragma once
// Window wrappers of the framework: CWnd around one window handle, the control wrappers that
// GetDlgItem hands out, the system menu and a paint device context.
#ifndef RC_INVOKED
#include "framework/CCmdTarget.h"
#include "framework/CString.h"

#include <windows.h>

#include <map>
#include <memory>

class CWnd;

// One transfer between a dialog's controls and its members. The framework's version throws on
// a failed validation; this one records it, and UpdateData reports it.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    void Fail() { m_failed = true; }
    bool failed() const { return m_failed; }

    BOOL m_bSaveAndValidate; // TRUE: controls to members
    CWnd* m_pDlgWnd;

private:
    bool m_failed = false;
};

// A menu handle that the wrapper does not own (system menus belong to their window).
class CMenu {
public:
    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, const wchar_t* newItem = nullptr);
    int GetMenuItemCount() const;

    HMENU m_hMenu = nullptr;
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Wrapper of a child control, owned by this window until it is destroyed; null when there
    // is no such control.
    CWnd* GetDlgItem(int id);
    void SetDlgItemText(int id, const wchar_t* text);
    int GetDlgItemText(int id, CString& text) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int firstId, int lastId, int checkedId);

    void SetWindowText(const wchar_t* text);
    void GetWindowText(CString& text) const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    BOOL ShowWindow(int showCommand);
    BOOL DestroyWindow();
    void GetClientRect(LPRECT rect) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);
    // The window's system menu (valid until the next call), or null; revert restores the
    // default menu.
    CMenu* GetSystemMenu(BOOL revert);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // A message box owned by this window; without a caption it shows the application's name.
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK);

    // Moves data between the controls and the members through DoDataExchange; FALSE when the
    // exchange failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

    HWND m_hWnd = nullptr;

protected:
    // Hands the message being handled back to the system's default processing.
    LRESULT Default();

    // Default handlers, for derived classes to call from their own.
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    // Looks up and runs the handler of a message; false when nothing handled it or the handler
    // asked for the default processing.
    bool dispatchMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Forgets the control wrappers once the window is gone.
    void releaseChildWrappers();

private:
    struct messageInProgress {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool defaultRequested;
    };

    messageInProgress* m_currentMessage = nullptr;
    std::map<HWND, std::unique_ptr<CWnd>> m_childWrappers;
    CMenu m_systemMenu;
};

// Paint device context for a WM_PAINT handler: BeginPaint on construction, EndPaint on
// destruction.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon);

    HDC m_hDC = nullptr;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

#endif
