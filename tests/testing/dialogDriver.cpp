#include "tests/testing/dialogDriver.h"

#include <gtest/gtest.h>

#include <exception>
#include <thread>
#include <utility>

namespace {
constexpr DWORD pollIntervalMs = 10;
constexpr int messageBoxTextId = 0xFFFF;

std::vector<HWND> threadWindows(DWORD threadId) {
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool isLiveDialog(HWND window) {
    return isDialogWindow(window) && ::IsWindowVisible(window) && ::IsWindowEnabled(window);
}

std::string narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t character : text)
        result += character < 0x80 ? static_cast<char>(character) : '?';
    return result;
}

class deadline {
public:
    explicit deadline(DWORD timeoutMs) : m_end(::GetTickCount64() + timeoutMs) {}
    bool passed() const { return ::GetTickCount64() >= m_end; }

private:
    ULONGLONG m_end;
};
} // namespace

bool isDialogWindow(HWND window) {
    wchar_t className[16] = {};
    if (::GetClassNameW(window, className, ARRAYSIZE(className)) == 0)
        return false;
    return std::wstring(className) == L"#32770";
}

bool isMessageBox(HWND window) {
    return isDialogWindow(window) && ::GetDlgItem(window, messageBoxTextId) != nullptr;
}

dialogDriver::dialogDriver(DWORD timeoutMs) : m_timeoutMs(timeoutMs) {}

INT_PTR dialogDriver::run(const std::function<INT_PTR()>& showModal, const script& steps) {
    m_uiThreadId = ::GetCurrentThreadId();
    m_modalEnded = false;
    {
        std::lock_guard<std::mutex> lock(m_failuresLock);
        m_failures.clear();
    }

    std::thread helper([this, &steps] {
        try {
            if (steps)
                steps(*this);
        } catch (const std::exception& error) {
            fail(std::string("script threw: ") + error.what());
        } catch (...) {
            fail("script threw");
        }
        closeLeftovers();
    });

    INT_PTR result = -1;
    try {
        result = showModal();
    } catch (...) {
        m_modalEnded = true;
        helper.join();
        throw;
    }
    m_modalEnded = true;
    helper.join();

    // A quit message used to break a stuck modal loop must not end the next dialog.
    MSG message;
    while (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }

    std::lock_guard<std::mutex> lock(m_failuresLock);
    for (const std::string& failure : m_failures)
        ADD_FAILURE() << "dialog driver: " << failure;
    return result;
}

void dialogDriver::fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(m_failuresLock);
    m_failures.push_back(what);
}

HWND dialogDriver::waitForWindow(const std::function<bool(HWND)>& wanted, const char* what) {
    const deadline end(m_timeoutMs);
    for (;;) {
        for (HWND window : threadWindows(m_uiThreadId)) {
            if (wanted(window))
                return window;
        }
        if (modalEnded()) {
            fail(std::string("the dialog ended while waiting for ") + what);
            return nullptr;
        }
        if (end.passed()) {
            fail(std::string("timed out waiting for ") + what);
            return nullptr;
        }
        ::Sleep(pollIntervalMs);
    }
}

HWND dialogDriver::waitForDialog(const wchar_t* caption) {
    const std::string what =
        caption != nullptr ? "the dialog \"" + narrow(caption) + "\"" : std::string("a dialog");
    return waitForWindow(
        [&](HWND window) {
            if (!isLiveDialog(window))
                return false;
            if (caption == nullptr)
                return true;
            wchar_t shown[512] = {};
            ::InternalGetWindowText(window, shown, ARRAYSIZE(shown));
            return std::wstring(shown) == caption;
        },
        what.c_str());
}

HWND dialogDriver::waitForMessageBox(HWND ownerWindow) {
    return waitForWindow(
        [&](HWND window) {
            return isLiveDialog(window) && isMessageBox(window) && owner(window) == ownerWindow;
        },
        "a message box");
}

HWND dialogDriver::waitForOwnedDialog(HWND ownerWindow) {
    return waitForWindow(
        [&](HWND window) {
            return isLiveDialog(window) && !isMessageBox(window) && owner(window) == ownerWindow;
        },
        "an owned dialog");
}

bool dialogDriver::waitUntilClosed(HWND window) {
    const deadline end(m_timeoutMs);
    while (::IsWindow(window)) {
        if (end.passed()) {
            fail("timed out waiting for a window to close");
            return false;
        }
        ::Sleep(pollIntervalMs);
    }
    return true;
}

HWND dialogDriver::owner(HWND window) const {
    return ::GetWindow(window, GW_OWNER);
}

LRESULT dialogDriver::send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (window == nullptr) {
        fail("message " + std::to_string(message) + " sent to no window");
        return 0;
    }
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, m_timeoutMs,
                               &result)) {
        fail("message " + std::to_string(message) + " was not answered in time");
        return 0;
    }
    return static_cast<LRESULT>(result);
}

std::wstring dialogDriver::text(HWND window) {
    const LRESULT length = send(window, WM_GETTEXTLENGTH);
    if (length <= 0)
        return std::wstring();
    std::wstring result(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        send(window, WM_GETTEXT, result.size(), reinterpret_cast<LPARAM>(result.data()));
    result.resize(copied > 0 && static_cast<std::size_t>(copied) < result.size()
                      ? static_cast<std::size_t>(copied)
                      : 0);
    return result;
}

std::wstring dialogDriver::text(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        fail("no control " + std::to_string(id));
        return std::wstring();
    }
    return text(control);
}

std::wstring dialogDriver::messageBoxText(HWND box) {
    return text(box, messageBoxTextId);
}

void dialogDriver::setText(HWND dialog, int id, const wchar_t* newText) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        fail("no control " + std::to_string(id));
        return;
    }
    send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(newText != nullptr ? newText : L""));
}

bool dialogDriver::exists(HWND dialog, int id) {
    return ::GetDlgItem(dialog, id) != nullptr;
}

bool dialogDriver::isChecked(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        fail("no control " + std::to_string(id));
        return false;
    }
    return send(control, BM_GETCHECK) == BST_CHECKED;
}

bool dialogDriver::isEnabled(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        fail("no control " + std::to_string(id));
        return false;
    }
    return ::IsWindowEnabled(control) != FALSE;
}

void dialogDriver::click(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        fail("no button " + std::to_string(id));
        return;
    }
    send(control, BM_CLICK);
}

void dialogDriver::postClick(HWND dialog, int id) {
    if (dialog == nullptr) {
        fail("click on no window");
        return;
    }
    HWND control = ::GetDlgItem(dialog, id);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
}

void dialogDriver::close(HWND dialog, int id) {
    postClick(dialog, id);
    if (dialog != nullptr)
        waitUntilClosed(dialog);
}

void dialogDriver::closeLeftovers() {
    // Topmost first: an open message box keeps its owner disabled.
    const deadline end(m_timeoutMs * 2);
    bool reported = false;
    while (!modalEnded() && !end.passed()) {
        HWND target = nullptr;
        for (HWND window : threadWindows(m_uiThreadId)) {
            if (isLiveDialog(window)) {
                target = window;
                break;
            }
        }
        if (target == nullptr) {
            ::Sleep(pollIntervalMs);
            continue;
        }
        if (!reported) {
            fail("the script left a dialog open; closing it");
            reported = true;
        }
        // Cancel first; a window that ignores it gets the close box, then OK.
        const std::pair<UINT, WPARAM> attempts[] = {
            {WM_COMMAND, IDCANCEL}, {WM_CLOSE, 0}, {WM_COMMAND, IDOK}};
        for (const auto& [message, wParam] : attempts) {
            ::PostMessageW(target, message, wParam, 0);
            const deadline step(300);
            while (::IsWindow(target) && !step.passed())
                ::Sleep(pollIntervalMs);
            if (!::IsWindow(target))
                break;
        }
    }
    if (!modalEnded()) {
        fail("the dialog would not close; ending its modal loop");
        ::PostThreadMessageW(m_uiThreadId, WM_QUIT, 0, 0);
    }
}
