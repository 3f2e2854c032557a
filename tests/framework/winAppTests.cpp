#include "framework/CWinApp.h"

#include <gtest/gtest.h>

namespace {
class recordingApp : public CWinApp {
public:
    explicit recordingApp(BOOL initResult) : m_initResult(initResult) {}

    int initCalls = 0;
    int exitCalls = 0;

    BOOL InitInstance() override {
        ++initCalls;
        return m_initResult;
    }
    int ExitInstance() override {
        ++exitCalls;
        return 7;
    }

private:
    BOOL m_initResult;
};
} // namespace

TEST(AfxWinMain, withoutAnApplicationFails) {
    ASSERT_EQ(nullptr, AfxGetApp());
    EXPECT_EQ(-1, AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW));
}

TEST(AfxWinMain, handsTheArgumentsToTheApplicationAndEndsAfterAFailedStart) {
    wchar_t commandLine[] = L"/ignored argument";
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    recordingApp app(FALSE);
    ASSERT_EQ(&app, AfxGetApp());
    EXPECT_STREQ(L"framework_tests", app.m_pszAppName) << "named after the program file";

    EXPECT_EQ(7, AfxWinMain(instance, nullptr, commandLine, SW_SHOWMINIMIZED));
    EXPECT_EQ(1, app.initCalls);
    EXPECT_EQ(1, app.exitCalls);
    EXPECT_EQ(instance, app.m_hInstance);
    EXPECT_EQ(commandLine, app.m_lpCmdLine);
    EXPECT_EQ(SW_SHOWMINIMIZED, app.m_nCmdShow);
    EXPECT_EQ(instance, AfxGetResourceHandle());
}

TEST(AfxWinMain, startWithoutMainWindowEndsInsteadOfWaitingForever) {
    recordingApp app(TRUE);
    EXPECT_EQ(7, AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ(1, app.exitCalls);
}

TEST(CWinApp, restartManagerQueriesEachTestTheirOwnFlag) {
    using query = BOOL (CWinApp::*)() const;
    const struct {
        DWORD flag;
        query ask;
    } cases[] = {
        {AFX_RESTART_MANAGER_SUPPORT_RESTART, &CWinApp::SupportsRestartManager},
        {AFX_RESTART_MANAGER_SUPPORT_RECOVERY, &CWinApp::SupportsApplicationRecovery},
        {AFX_RESTART_MANAGER_AUTOSAVE_AT_RESTART, &CWinApp::SupportsAutosaveAtRestart},
        {AFX_RESTART_MANAGER_AUTOSAVE_AT_INTERVAL, &CWinApp::SupportsAutosaveAtInterval},
        {AFX_RESTART_MANAGER_REOPEN_PREVIOUS_FILES, &CWinApp::ReopenPreviousFilesAtRestart},
        {AFX_RESTART_MANAGER_RESTORE_AUTOSAVED_FILES, &CWinApp::RestoreAutosavedFilesAtRestart},
    };
    CWinApp app(L"named");
    EXPECT_STREQ(L"named", app.m_pszAppName);
    EXPECT_EQ(0u, app.m_dwRestartManagerSupportFlags);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        app.m_dwRestartManagerSupportFlags = 0;
        EXPECT_FALSE((app.*c.ask)());
        app.m_dwRestartManagerSupportFlags = 0x3F & ~c.flag;
        EXPECT_FALSE((app.*c.ask)());
        app.m_dwRestartManagerSupportFlags = c.flag;
        EXPECT_TRUE((app.*c.ask)());
    }
    EXPECT_EQ(0u, app.GetApplicationRestartFlags());
    EXPECT_EQ(nullptr, app.GetApplicationRecoveryParameter());
    EXPECT_EQ(5000u, app.GetApplicationRecoveryPingInterval());
}
