#include "framework/CDialog.h"
#include "framework/CWinApp.h"
#include "tests/framework/frameworkTestIds.h"
#include "tests/testing/dialogDriver.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {
constexpr UINT aboutCommand = 16;

class testDialog : public CDialog {
public:
    explicit testDialog(UINT templateId = IDD_FRAMEWORK_TEST, CWnd* parent = nullptr)
        : CDialog(templateId, parent) {}

    int initExchanges = 0;
    int saveExchanges = 0;
    bool failSave = false;
    bool refuseCancel = false;
    int okCalls = 0;
    int cancelCalls = 0;
    int countClicks = 0;
    CString typed;
    bool missingControlIsNull = false;
    UINT lastMode = 0;
    std::vector<UINT> sysCommands;
    HICON dragIcon = nullptr;
    bool paintItself = false;
    int paints = 0;
    std::function<void(testDialog&)> onOpenChild;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        if (!pDX->m_bSaveAndValidate) {
            ++initExchanges;
            return;
        }
        ++saveExchanges;
        if (failSave)
            pDX->Fail();
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetDlgItemText(IDC_NAME, L"initial");
        return TRUE;
    }
    void OnOK() override {
        ++okCalls;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancelCalls;
        if (!refuseCancel)
            CDialog::OnCancel();
    }
    void OnSysCommand(UINT id, LPARAM lParam) {
        sysCommands.push_back(id);
        if ((id & 0xFFF0) != aboutCommand)
            CDialog::OnSysCommand(id, lParam);
    }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(dragIcon); }
    void OnPaint() {
        ++paints;
        if (!paintItself) {
            CDialog::OnPaint();
            return;
        }
        CPaintDC dc(this);
        RECT client;
        GetClientRect(&client);
        dc.DrawIcon((client.right - client.left) / 2, 0, dragIcon);
    }
    void OnCount() {
        ++countClicks;
        GetDlgItemText(IDC_NAME, typed);
        missingControlIsNull = GetDlgItem(9999) == nullptr;
    }
    void OnMode(UINT id) { lastMode = id; }
    void OnOpenChild() {
        if (onOpenChild)
            onOpenChild(*this);
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(testDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_QUERYDRAGICON()
ON_WM_PAINT()
ON_BN_CLICKED(IDC_COUNT, &testDialog::OnCount)
ON_COMMAND_RANGE(IDC_MODE_FIRST, IDC_MODE_THIRD, &testDialog::OnMode)
ON_BN_CLICKED(IDC_OPEN_CHILD, &testDialog::OnOpenChild)
END_MESSAGE_MAP()

class testApp : public CWinApp {
public:
    testApp() : CWinApp(L"framework test") {}
    int appCommands = 0;
    int unroutedCommands = 0;

protected:
    void OnAppCommand() { ++appCommands; }
    void OnUnrouted() { ++unroutedCommands; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(testApp, CWinApp)
ON_COMMAND(IDC_APP_COMMAND, &testApp::OnAppCommand)
ON_COMMAND(IDC_UNROUTED, &testApp::OnUnrouted)
END_MESSAGE_MAP()

INT_PTR runDriven(testDialog& dialog, const dialogDriver::script& steps) {
    dialogDriver driver;
    return driver.run([&] { return dialog.DoModal(); }, steps);
}

struct closingCase {
    const char* name;
    std::function<void(dialogDriver&, HWND)> close;
    INT_PTR result;
    int okCalls;
    int cancelCalls;
};
} // namespace

TEST(CDialog, everyWayOfClosingReachesOnOKOrOnCancel) {
    const auto postKey = [](WPARAM key) {
        return [key](dialogDriver& d, HWND window) {
            ::PostMessageW(::GetDlgItem(window, IDC_NAME), WM_KEYDOWN, key, 0);
            d.waitUntilClosed(window);
        };
    };
    const closingCase cases[] = {
        {"OK button", [](dialogDriver& d, HWND w) { d.close(w, IDOK); }, IDOK, 1, 0},
        {"Cancel button", [](dialogDriver& d, HWND w) { d.close(w, IDCANCEL); }, IDCANCEL, 0, 1},
        {"close box",
         [](dialogDriver& d, HWND w) {
             ::PostMessageW(w, WM_CLOSE, 0, 0);
             d.waitUntilClosed(w);
         },
         IDCANCEL, 0, 1},
        {"Enter", postKey(VK_RETURN), IDOK, 1, 0},
        {"Escape", postKey(VK_ESCAPE), IDCANCEL, 0, 1},
    };
    for (const closingCase& c : cases) {
        SCOPED_TRACE(c.name);
        testDialog dialog;
        const INT_PTR result = runDriven(dialog, [&](dialogDriver& d) {
            if (HWND window = d.waitForDialog(L"Framework test"))
                c.close(d, window);
        });
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.okCalls, dialog.okCalls);
        EXPECT_EQ(c.cancelCalls, dialog.cancelCalls);
        EXPECT_EQ(1, dialog.initExchanges);
        EXPECT_EQ(c.okCalls, dialog.saveExchanges) << "only OK takes data from the controls";
        EXPECT_EQ(nullptr, dialog.m_hWnd);
    }
}

TEST(CDialog, failedExchangeKeepsTheDialogOpen) {
    testDialog dialog;
    dialog.failSave = true;
    const INT_PTR result = runDriven(dialog, [](dialogDriver& d) {
        HWND window = d.waitForDialog();
        d.click(window, IDOK);
        EXPECT_TRUE(::IsWindow(window));
        d.close(window, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, dialog.okCalls);
    EXPECT_EQ(1, dialog.saveExchanges);
}

TEST(CDialog, messageMapRunsClickAndRangeHandlers) {
    testDialog dialog;
    std::wstring initialText;
    const INT_PTR result = runDriven(dialog, [&](dialogDriver& d) {
        HWND window = d.waitForDialog();
        initialText = d.text(window, IDC_NAME);
        d.setText(window, IDC_NAME, L"typed text");
        d.click(window, IDC_COUNT);
        d.click(window, IDC_COUNT);
        d.click(window, IDC_MODE_SECOND);
        d.close(window, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(L"initial", initialText);
    EXPECT_EQ(2, dialog.countClicks);
    EXPECT_EQ(CString(L"typed text"), dialog.typed);
    EXPECT_TRUE(dialog.missingControlIsNull);
    EXPECT_EQ(static_cast<UINT>(IDC_MODE_SECOND), dialog.lastMode);
}

TEST(CDialog, onlyUnhandledCommandsOfTheCommandRangeReachTheApplication) {
    testApp app;
    testDialog dialog;
    runDriven(dialog, [](dialogDriver& d) {
        HWND window = d.waitForDialog();
        d.click(window, IDC_APP_COMMAND);
        d.click(window, IDC_UNROUTED);
        d.close(window, IDCANCEL);
    });
    EXPECT_EQ(1, app.appCommands);
    EXPECT_EQ(0, app.unroutedCommands) << "control ids below 0x8000 stay with the dialog";
}

TEST(CDialog, handlersCanLeaveMessagesToTheDefaultProcessing) {
    testDialog dialog;
    dialog.dragIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    LRESULT dragIcon = 0;
    const INT_PTR result = runDriven(dialog, [&](dialogDriver& d) {
        HWND window = d.waitForDialog();
        dragIcon = d.send(window, WM_QUERYDRAGICON);
        // Swallowed by the handler: the dialog stays.
        d.send(window, WM_SYSCOMMAND, aboutCommand + 3, 0);
        EXPECT_TRUE(::IsWindow(window));
        // Passed on: the default processing closes the window.
        d.send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        d.waitUntilClosed(window);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.dragIcon), dragIcon);
    EXPECT_EQ((std::vector<UINT>{aboutCommand + 3, SC_CLOSE}), dialog.sysCommands);
    EXPECT_EQ(1, dialog.cancelCalls);
}

TEST(CDialog, paintingByTheHandlerOrByDefaultValidatesTheWindow) {
    for (const bool paintItself : {true, false}) {
        SCOPED_TRACE(paintItself ? "own painting" : "default painting");
        testDialog dialog;
        dialog.paintItself = paintItself;
        dialog.dragIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
        bool stillInvalid = true;
        runDriven(dialog, [&](dialogDriver& d) {
            HWND window = d.waitForDialog();
            ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            stillInvalid = ::GetUpdateRect(window, nullptr, FALSE) != FALSE;
            d.close(window, IDCANCEL);
        });
        EXPECT_GE(dialog.paints, 1);
        EXPECT_FALSE(stillInvalid);
    }
}

TEST(CDialog, missingTemplateFailsWithoutAWindow) {
    testDialog dialog(9999);
    dialogDriver driver;
    EXPECT_EQ(-1, driver.run([&] { return dialog.DoModal(); }, nullptr));
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    testDialog noTemplate(0);
    EXPECT_EQ(-1, noTemplate.DoModal());
}

TEST(CDialog, dialogWithoutParentIsOwnedByTheMainWindow) {
    testApp app;
    HWND mainWindow = nullptr;
    {
        testDialog mainDialog;
        app.m_pMainWnd = &mainDialog;
        INT_PTR childResult = 0;
        mainDialog.onOpenChild = [&](testDialog&) {
            testDialog child(IDD_CHILD_TEST);
            childResult = child.DoModal();
        };
        runDriven(mainDialog, [&](dialogDriver& d) {
            mainWindow = d.waitForDialog(L"Framework test");
            d.postClick(mainWindow, IDC_OPEN_CHILD);
            HWND child = d.waitForOwnedDialog(mainWindow);
            EXPECT_FALSE(::IsWindowEnabled(mainWindow)) << "a modal child disables its owner";
            d.close(child, IDOK);
            d.close(mainWindow, IDCANCEL);
        });
        EXPECT_EQ(IDOK, childResult);
        EXPECT_EQ(&mainDialog, app.m_pMainWnd);
    }
    EXPECT_NE(nullptr, mainWindow);
    EXPECT_EQ(nullptr, app.m_pMainWnd) << "a destroyed main window object is forgotten";
}

TEST(CWnd, messageBoxIsOwnedByTheDialogAndNamedAfterTheApplication) {
    testApp app;
    testDialog dialog;
    int answer = 0;
    dialog.onOpenChild = [&](testDialog& self) {
        answer = self.MessageBox(L"Unable to write.\r\n\r\nTry again", nullptr,
                                 MB_ICONEXCLAMATION | MB_OK);
    };
    std::wstring text;
    std::wstring caption;
    runDriven(dialog, [&](dialogDriver& d) {
        HWND window = d.waitForDialog();
        d.postClick(window, IDC_OPEN_CHILD);
        HWND box = d.waitForMessageBox(window);
        text = d.messageBoxText(box);
        caption = d.text(box);
        d.close(box, IDOK);
        d.close(window, IDCANCEL);
    });
    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ(L"Unable to write.\r\n\r\nTry again", text);
    EXPECT_EQ(L"framework test", caption);
}

TEST(CWnd, systemMenuAndStringResources) {
    CString text(L"stale");
    EXPECT_TRUE(text.LoadString(IDS_TEST_STRING));
    EXPECT_EQ(CString(L"&About Framework..."), text);
    EXPECT_FALSE(text.LoadString(IDS_TEST_STRING + 1));
    EXPECT_TRUE(text.IsEmpty());

    testDialog dialog;
    int itemsBefore = -1;
    int itemsAfter = -1;
    dialog.onOpenChild = [&](testDialog& self) {
        CMenu* menu = self.GetSystemMenu(FALSE);
        if (menu == nullptr)
            return;
        itemsBefore = menu->GetMenuItemCount();
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, aboutCommand, L"&About Framework...");
        itemsAfter = self.GetSystemMenu(FALSE)->GetMenuItemCount();
    };
    runDriven(dialog, [](dialogDriver& d) {
        HWND window = d.waitForDialog();
        d.click(window, IDC_OPEN_CHILD);
        d.close(window, IDCANCEL);
    });
    EXPECT_GT(itemsBefore, 0);
    EXPECT_EQ(itemsBefore + 2, itemsAfter);
}

namespace {
// Failures a body reports on this thread, kept from the test's own result.
std::string capturedFailures(const std::function<void()>& body) {
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        body();
    }
    std::string messages;
    for (int i = 0; i < results.size(); ++i)
        messages += std::string(results.GetTestPartResult(i).message()) + "\n";
    return messages;
}
} // namespace

TEST(dialogDriver, closesWhatTheScriptLeavesOpenAndReportsIt) {
    testDialog dialog;
    dialogDriver driver(1000);
    INT_PTR result = 0;
    const std::string failures =
        capturedFailures([&] { result = driver.run([&] { return dialog.DoModal(); }, nullptr); });
    EXPECT_NE(std::string::npos, failures.find("left a dialog open")) << failures;
    EXPECT_EQ(IDCANCEL, result);
}

TEST(dialogDriver, endsTheModalLoopOfADialogThatWillNotClose) {
    testDialog dialog;
    dialog.failSave = true;
    dialog.refuseCancel = true;
    dialogDriver driver(500);
    const std::string failures = capturedFailures([&] {
        driver.run([&] { return dialog.DoModal(); },
                   [](dialogDriver& d) { d.close(d.waitForDialog()); });
    });
    EXPECT_NE(std::string::npos, failures.find("would not close")) << failures;
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_GE(dialog.cancelCalls, 1);

    // The next dialog must not inherit the quit message.
    testDialog next;
    EXPECT_EQ(IDOK, runDriven(next, [](dialogDriver& d) { d.close(d.waitForDialog(), IDOK); }));
}
