#pragma once
// Drives a modal dialog from a helper thread while the test thread runs it:
//
//   dialogDriver driver;
//   INT_PTR result = driver.run([&] { return dialog.DoModal(); },
//                               [](dialogDriver& d) {
//                                   HWND window = d.waitForDialog();
//                                   d.setText(window, 1062, L"x");
//                                   d.close(window, IDOK);
//                               });
//
// Windows are found with EnumThreadWindows on the test thread only (other test programs run in
// parallel in the same prefix). Every wait is bounded; what goes wrong on the helper thread is
// reported as a test failure on the test thread, and whatever the script leaves open is closed
// so a stuck dialog fails the test instead of hanging the run.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class dialogDriver {
public:
    using script = std::function<void(dialogDriver&)>;

    explicit dialogDriver(DWORD timeoutMs = 5000);

    // Runs showModal on the calling thread and steps on a helper thread; returns showModal's
    // result. Must be called on the thread that shows the dialog.
    INT_PTR run(const std::function<INT_PTR()>& showModal, const script& steps);

    // Helper-thread operations. A wait that runs out, or a window that does not answer,
    // records a failure and gives null, false or an empty text.

    // The enabled, visible dialog of the test thread (the one the user could work with);
    // with a caption, only a dialog showing exactly that caption.
    HWND waitForDialog(const wchar_t* caption = nullptr);
    // A message box owned by the given window.
    HWND waitForMessageBox(HWND owner);
    // A dialog other than a message box owned by the given window.
    HWND waitForOwnedDialog(HWND owner);
    bool waitUntilClosed(HWND window);

    std::wstring text(HWND window);
    std::wstring text(HWND dialog, int id);
    std::wstring messageBoxText(HWND box);
    void setText(HWND dialog, int id, const wchar_t* text);
    bool exists(HWND dialog, int id);
    bool isChecked(HWND dialog, int id);
    bool isEnabled(HWND dialog, int id);
    HWND owner(HWND window) const;

    // Clicks a button and waits until its handler has returned.
    void click(HWND dialog, int id);
    // Clicks without waiting, for handlers that open a modal window (a message box, another
    // dialog): waiting for them would never end.
    void postClick(HWND dialog, int id);
    // Clicks a closing button (IDOK, IDCANCEL, or one whose handler ends the dialog) and waits
    // until the window is gone.
    void close(HWND dialog, int id = IDCANCEL);

    // A message sent with a bounded wait; 0 when it timed out (recorded as a failure).
    LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    void fail(const std::string& what);
    DWORD uiThreadId() const { return m_uiThreadId; }
    DWORD timeoutMs() const { return m_timeoutMs; }

private:
    HWND waitForWindow(const std::function<bool(HWND)>& wanted, const char* what);
    void closeLeftovers();
    bool modalEnded() const { return m_modalEnded.load(); }

    DWORD m_timeoutMs;
    DWORD m_uiThreadId = 0;
    std::atomic<bool> m_modalEnded{false};
    std::mutex m_failuresLock;
    std::vector<std::string> m_failures;
};

// Window class name of dialogs and message boxes.
bool isDialogWindow(HWND window);
bool isMessageBox(HWND window);
