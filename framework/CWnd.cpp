#include "framework/CWnd.h"

#include "framework/CWinApp.h"

#include <utility>

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idNewItem, const wchar_t* newItem) {
    return ::AppendMenuW(m_hMenu, flags, idNewItem, newItem);
}

int CMenu::GetMenuItemCount() const {
    return ::GetMenuItemCount(m_hMenu);
}

CWnd::~CWnd() {
    // The application must not keep pointing at a window object that is gone.
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this)
        app->m_pMainWnd = nullptr;
}

CWnd* CWnd::GetDlgItem(int id) {
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (control == nullptr)
        return nullptr;
    std::unique_ptr<CWnd>& wrapper = m_childWrappers[control];
    if (!wrapper) {
        wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = control;
    }
    return wrapper.get();
}

void CWnd::releaseChildWrappers() {
    m_childWrappers.clear();
}

void CWnd::SetDlgItemText(int id, const wchar_t* text) {
    ::SetDlgItemTextW(m_hWnd, id, text != nullptr ? text : L"");
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text.Empty();
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (control == nullptr)
        return 0;
    CWnd wrapper;
    wrapper.m_hWnd = control;
    wrapper.GetWindowText(text);
    return text.GetLength();
}

void CWnd::CheckDlgButton(int id, UINT check) {
    ::CheckDlgButton(m_hWnd, id, check);
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    return ::IsDlgButtonChecked(m_hWnd, id);
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkedId) {
    ::CheckRadioButton(m_hWnd, firstId, lastId, checkedId);
}

void CWnd::SetWindowText(const wchar_t* text) {
    ::SetWindowTextW(m_hWnd, text != nullptr ? text : L"");
}

void CWnd::GetWindowText(CString& text) const {
    text.Empty();
    const int length = ::GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return;
    // The text may change between the two calls; the copy is bounded by the buffer and the
    // length taken from what was really copied.
    wchar_t* buffer = text.GetBuffer(length);
    const int copied = ::GetWindowTextW(m_hWnd, buffer, length + 1);
    text.ReleaseBuffer(copied > 0 ? copied : 0);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::IsWindowEnabled() const {
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::ShowWindow(int showCommand) {
    return ::ShowWindow(m_hWnd, showCommand);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::GetClientRect(LPRECT rect) const {
    if (rect == nullptr)
        return;
    if (!::GetClientRect(m_hWnd, rect))
        *rect = RECT{};
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
    m_systemMenu.m_hMenu = ::GetSystemMenu(m_hWnd, revert);
    return m_systemMenu.m_hMenu != nullptr ? &m_systemMenu : nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) {
    if (caption == nullptr) {
        const CWinApp* app = AfxGetApp();
        caption = app != nullptr ? app->m_pszAppName : nullptr;
    }
    return ::MessageBoxW(m_hWnd, text != nullptr ? text : L"", caption, type);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return exchange.failed() ? FALSE : TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::Default() {
    // The dialog manager runs the default processing once the handler has returned.
    if (m_currentMessage != nullptr)
        m_currentMessage->defaultRequested = true;
    return 0;
}

void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}

void CWnd::OnPaint() {
    Default();
}

HCURSOR CWnd::OnQueryDragIcon() {
    Default();
    return nullptr;
}

bool CWnd::dispatchMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    struct restoreOuterMessage {
        messageInProgress*& field;
        messageInProgress* outer;
        ~restoreOuterMessage() { field = outer; }
    };
    messageInProgress current{message, wParam, lParam, false};
    restoreOuterMessage restore{m_currentMessage, std::exchange(m_currentMessage, &current)};

    bool handled = false;
    result = 0;
    if (message == WM_COMMAND) {
        handled = OnCmdMsg(LOWORD(wParam), HIWORD(wParam)) != FALSE;
    } else if (const messageMapEntry* entry = findMessageEntry(message, 0, 0)) {
        result = entry->handler(*this, wParam, lParam);
        handled = true;
    }
    return handled && !current.defaultRequested;
}

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window != nullptr ? window->m_hWnd : nullptr) {
    if (m_hWnd != nullptr)
        m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
    if (m_hDC != nullptr)
        ::EndPaint(m_hWnd, &m_ps);
}

BOOL CPaintDC::DrawIcon(int x, int y, HICON icon) {
    return m_hDC != nullptr ? ::DrawIcon(m_hDC, x, y, icon) : FALSE;
}
