#include "app/DmDebugRegistryApp.h"
#include "app/DmDebugRegistryDlg.h"
#include "platform/knownFolders.h"
#include "resources/resource.h"

#include "tests/testing/dialogDriver.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <shlobj.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

const wchar_t* const productPath = L"Software\\Tarnwick\\Driftmarkx64";
const wchar_t* const defaultProductPath = L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64";
const wchar_t* const failureCaption = L"Unable to write to registry";
const wchar_t* const appCaption = L"Logsmith x64 (TARN internal use only, DO NOT DISTRIBUTE!)";

// The application data folder of these tests: a temporary folder, so nothing lands in the
// prefix's real profile.
std::wstring g_appData;
// Set by a test to run something at the next folder lookup (the trace path of Apply).
std::atomic<void (*)()> g_onFolderLookup{nullptr};

HRESULT WINAPI testFolderLookup(HWND, int folder, HANDLE, DWORD, wchar_t* path) {
    if (auto hook = g_onFolderLookup.exchange(nullptr))
        hook();
    if (folder != CSIDL_APPDATA || g_appData.empty())
        return E_FAIL;
    wcscpy_s(path, MAX_PATH, g_appData.c_str());
    return S_OK;
}

struct shellCall {
    HWND owner;
    std::wstring verb, file, directory;
    bool nullParameters;
    int show;
};
std::vector<shellCall> g_shellCalls;

HINSTANCE WINAPI recordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                 LPCWSTR directory, INT show) {
    g_shellCalls.push_back({owner, verb ? verb : L"", file ? file : L"",
                            directory ? directory : L"<null>", parameters == nullptr, show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

class mainDialog : public scratchRegistry {
protected:
    void SetUp() override {
        scratchRegistry::SetUp();
        g_appData = appData.path();
        previousLookup = setFolderPathLookup(&testFolderLookup);
        previousShell = std::exchange(CDmDebugRegistryDlg::shellExecute, &recordShellCall);
        g_shellCalls.clear();
    }
    void TearDown() override {
        setFolderPathLookup(previousLookup);
        CDmDebugRegistryDlg::shellExecute = previousShell;
        g_onFolderLookup = nullptr;
        scratchRegistry::TearDown();
    }

    INT_PTR runDialog(const dialogDriver::script& steps) {
        CDmDebugRegistryDlg dialog;
        dialogDriver driver;
        return driver.run([&] { return dialog.DoModal(); }, steps);
    }

    static void storeDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
        writeRawValue(root, path, name, REG_DWORD, &value, sizeof(value));
    }
    static void storeText(const wchar_t* name, const std::wstring& text) {
        writeRawValue(HKEY_CURRENT_USER, productPath, name, REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    // The three values as Apply stores them: exact types and sizes.
    static void expectStored(HKEY root, const wchar_t* path, DWORD mode,
                             const std::wstring& fileName, DWORD writeNewFile) {
        const rawRegistryValue storedMode = readRawValue(root, path, L"debugDataTransfer");
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedMode.type);
        EXPECT_EQ(4u, storedMode.bytes.size());
        EXPECT_EQ(mode, storedMode.dword());
        const rawRegistryValue storedName = readRawValue(root, path, L"debugLogFile");
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), storedName.type);
        EXPECT_EQ((fileName.size() + 1) * 2, storedName.bytes.size());
        EXPECT_EQ(fileName, storedName.text());
        const rawRegistryValue storedFlag = readRawValue(root, path, L"debugLogFileWriteNewFile");
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedFlag.type);
        EXPECT_EQ(4u, storedFlag.bytes.size());
        EXPECT_EQ(writeNewFile, storedFlag.dword());
    }

    // Presses OK, reads and dismisses the message box it shows, waits for the dialog to close.
    static void okThroughMessageBox(dialogDriver& d, HWND dialog, std::wstring& text,
                                    std::wstring& caption) {
        d.postClick(dialog, IDOK);
        HWND box = d.waitForMessageBox(dialog);
        text = d.messageBoxText(box);
        caption = d.text(box);
        d.close(box, IDOK);
        d.waitUntilClosed(dialog);
    }

    // Which of the four mode buttons are checked, as 1063 1064 1071 1065.
    static std::wstring checkedModes(dialogDriver& d, HWND dialog) {
        std::wstring marks;
        for (int id : {IDC_MODE_TARGET, IDC_MODE_GUI, IDC_MODE_TARGET_AND_GUI, IDC_MODE_NONE})
            marks += d.isChecked(dialog, id) ? L'x' : L'.';
        return marks;
    }

    tempFolder appData;
    folderPathLookup previousLookup = nullptr;
    CDmDebugRegistryDlg::shellExecuteFunction previousShell = nullptr;
};

} // namespace

TEST_F(mainDialog, firstRunShowsDefaultsAndCreatesTheDefaultFolders) {
    std::wstring fileName, caption, modes;
    bool editEnabled = true, browseEnabled = true, deleteChecked = false;
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        caption = d.text(dialog);
        fileName = d.text(dialog, IDC_DEBUG_LOG_FILE);
        modes = checkedModes(d, dialog);
        editEnabled = d.isEnabled(dialog, IDC_DEBUG_LOG_FILE);
        browseEnabled = d.isEnabled(dialog, IDC_BROWSE);
        deleteChecked = d.isChecked(dialog, IDC_DELETE_LOG_FILE);
        d.close(dialog, IDCANCEL);
    });
    EXPECT_EQ(appCaption, caption);
    EXPECT_EQ(appData.path() + L"\\Tarnwick\\dmDataLog.dmlog_x64", fileName);
    EXPECT_EQ(L"...x", modes);
    EXPECT_FALSE(editEnabled);
    EXPECT_FALSE(browseEnabled);
    EXPECT_TRUE(deleteChecked) << "a missing value checks the box";
    EXPECT_TRUE(folderExists(appData.path() + L"\\Tarnwick"));
    EXPECT_TRUE(folderExists(appData.path() + L"\\Tarnwick\\dmDataLog"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              readRawValue(HKEY_CURRENT_USER, productPath, L"debugDataTransfer").status)
        << "Cancel writes nothing";
}

TEST_F(mainDialog, storedModeCodesSelectTheirButtonAndUnknownCodesNone) {
    const struct {
        DWORD mode;
        const wchar_t* checked;
        bool fileControlsEnabled;
        DWORD applied;
    } cases[] = {
        {3427, L"x...", true, 3427}, {5498, L".x..", true, 5498}, {6138, L"..x.", true, 6138},
        {0, L"...x", false, 0},      {1234, L"....", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        storeDword(HKEY_CURRENT_USER, productPath, L"debugDataTransfer", c.mode);
        storeText(L"debugLogFile", L"C:\\logs\\run.dmlog_x64");
        std::wstring modes, fileName;
        bool editEnabled = false, browseEnabled = false;
        runDialog([&](dialogDriver& d) {
            HWND dialog = d.waitForDialog();
            modes = checkedModes(d, dialog);
            fileName = d.text(dialog, IDC_DEBUG_LOG_FILE);
            editEnabled = d.isEnabled(dialog, IDC_DEBUG_LOG_FILE);
            browseEnabled = d.isEnabled(dialog, IDC_BROWSE);
            d.click(dialog, IDC_APPLY);
            d.close(dialog, IDCANCEL);
        });
        EXPECT_EQ(c.checked, modes);
        EXPECT_EQ(L"C:\\logs\\run.dmlog_x64", fileName);
        EXPECT_EQ(c.fileControlsEnabled, editEnabled);
        EXPECT_EQ(c.fileControlsEnabled, browseEnabled);
        expectStored(HKEY_CURRENT_USER, productPath, c.applied, L"C:\\logs\\run.dmlog_x64", 1);
    }
}

TEST_F(mainDialog, checkBoxShowsTheStoredNewFileFlag) {
    const struct {
        bool stored;
        DWORD value;
        bool checked;
    } cases[] = {{true, 0, false}, {true, 1, true}, {true, 7, true}, {false, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
        if (c.stored)
            storeDword(HKEY_CURRENT_USER, productPath, L"debugLogFileWriteNewFile", c.value);
        bool checked = !c.checked;
        const INT_PTR result = runDialog([&](dialogDriver& d) {
            HWND dialog = d.waitForDialog();
            checked = d.isChecked(dialog, IDC_DELETE_LOG_FILE);
            d.close(dialog, IDOK);
        });
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(c.checked, checked);
        // OK without touching the box keeps what was shown.
        EXPECT_EQ(
            c.checked ? 1u : 0u,
            readRawValue(HKEY_CURRENT_USER, productPath, L"debugLogFileWriteNewFile").dword());
    }
}

TEST_F(mainDialog, modeButtonsSwitchTheFileControls) {
    std::vector<std::pair<bool, bool>> states;
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        for (int id : {IDC_MODE_TARGET, IDC_MODE_NONE, IDC_MODE_GUI, IDC_MODE_NONE,
                       IDC_MODE_TARGET_AND_GUI}) {
            d.click(dialog, id);
            states.emplace_back(d.isEnabled(dialog, IDC_DEBUG_LOG_FILE),
                                d.isEnabled(dialog, IDC_BROWSE));
        }
        EXPECT_TRUE(d.isEnabled(dialog, IDC_DELETE_LOG_FILE));
        EXPECT_TRUE(d.isEnabled(dialog, IDC_OPEN_DIRECTORY));
        d.close(dialog, IDCANCEL);
    });
    const std::vector<std::pair<bool, bool>> expected = {
        {true, true}, {false, false}, {true, true}, {false, false}, {true, true}};
    EXPECT_EQ(expected, states);
}

TEST_F(mainDialog, applyWritesBothLocationsAndOkClosesAfterWriting) {
    const INT_PTR result = runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        d.click(dialog, IDC_MODE_GUI);
        d.setText(dialog, IDC_DEBUG_LOG_FILE, L"");
        d.click(dialog, IDC_DELETE_LOG_FILE);
        d.click(dialog, IDC_APPLY);
        d.setText(dialog, IDC_DEBUG_LOG_FILE, L"D:\\logs\\second.log");
        d.click(dialog, IDC_MODE_TARGET_AND_GUI);
        d.close(dialog, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    expectStored(HKEY_CURRENT_USER, productPath, 6138, L"D:\\logs\\second.log", 0);
    expectStored(HKEY_USERS, defaultProductPath, 6138, L"D:\\logs\\second.log", 0);
    EXPECT_TRUE(folderExists(appData.path() + L"\\Tarnwick\\Driftmark x64"))
        << "the trace file's folder is prepared";
}

TEST_F(mainDialog, emptyFileNameIsStoredAsTwoBytes) {
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        d.setText(dialog, IDC_DEBUG_LOG_FILE, L"");
        d.click(dialog, IDC_APPLY);
        d.close(dialog, IDCANCEL);
    });
    expectStored(HKEY_CURRENT_USER, productPath, 0, L"", 1);
    expectStored(HKEY_USERS, defaultProductPath, 0, L"", 1);
}

TEST_F(mainDialog, unopenableCurrentUserKeyIsReportedAndDefaultProfileStillWritten) {
    makeRootRefuseCreation(HKEY_CURRENT_USER);
    std::wstring boxText, boxCaption;
    const INT_PTR result = runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        okThroughMessageBox(d, dialog, boxText, boxCaption);
    });
    EXPECT_EQ(IDOK, result) << "OK closes after the message";
    EXPECT_EQ(L"Unable to open registry for writing logging data.\r\n\r\n"
              L"Try running this tool as Administrator",
              boxText);
    EXPECT_EQ(failureCaption, boxCaption);
    expectStored(HKEY_USERS, defaultProductPath, 0,
                 appData.path() + L"\\Tarnwick\\dmDataLog.dmlog_x64", 1);
}

TEST_F(mainDialog, refusedWriteIsReportedAndOkClosesAfterTheMessage) {
    storeText(L"debugLogFile", L"C:\\logs\\run.dmlog_x64");
    std::wstring boxText, boxCaption;
    const INT_PTR result = runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        // The product key disappears while Apply holds it open: every write to it is refused.
        g_onFolderLookup = +[] { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick"); };
        okThroughMessageBox(d, dialog, boxText, boxCaption);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(L"Unable to write logging data to registry.\r\n\r\n"
              L"Try running this tool as Administrator",
              boxText);
    EXPECT_EQ(failureCaption, boxCaption);
    // The default profile is still written after the message.
    expectStored(HKEY_USERS, defaultProductPath, 0, L"C:\\logs\\run.dmlog_x64", 1);
}

TEST_F(mainDialog, defaultProfileFailuresStaySilent) {
    makeRootRefuseCreation(HKEY_USERS);
    const INT_PTR result = runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        d.click(dialog, IDC_MODE_TARGET);
        d.setText(dialog, IDC_DEBUG_LOG_FILE, L"C:\\x.log");
        d.close(dialog, IDOK); // a message box would keep the dialog open and fail this
    });
    EXPECT_EQ(IDOK, result);
    expectStored(HKEY_CURRENT_USER, productPath, 3427, L"C:\\x.log", 1);
}

TEST_F(mainDialog, openDirectoryHandsOnlyExistingFoldersToTheShell) {
    const std::wstring folder = appData.makeFolder(L"logs");
    const std::wstring program = appData.makeFile(L"setup.exe", "MZ");
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        for (const std::wstring& typed :
             {folder + L"\\run.dmlog_x64", std::wstring(L"run.dmlog_x64"), program + L"\\x",
              appData.path() + L"\\missing\\run.log"}) {
            d.setText(dialog, IDC_DEBUG_LOG_FILE, typed.c_str());
            d.click(dialog, IDC_OPEN_DIRECTORY);
        }
        d.close(dialog, IDCANCEL);
    });
    ASSERT_EQ(1u, g_shellCalls.size());
    EXPECT_NE(nullptr, g_shellCalls[0].owner);
    EXPECT_EQ(L"open", g_shellCalls[0].verb);
    EXPECT_EQ(folder, g_shellCalls[0].file);
    EXPECT_TRUE(g_shellCalls[0].nullParameters);
    EXPECT_EQ(L"", g_shellCalls[0].directory);
    EXPECT_EQ(SW_SHOW, g_shellCalls[0].show);
}

TEST_F(mainDialog, storedValuesOfTheWrongShapeFallBackToDefaults) {
    const unsigned long long eightBytes = 3427;
    const DWORD binaryMode = 5498;
    const wchar_t unterminated[] = {L'C', L':', L'\\', L'u', L'.', L'l', L'o', L'g'};
    const char binaryFlag[] = {0};
    const struct {
        DWORD modeType;
        const void* mode;
        DWORD modeBytes;
        const wchar_t* checked;
    } cases[] = {
        // Too long to read: the mode stays 0.
        {REG_DWORD, &eightBytes, sizeof(eightBytes), L"...x"},
        // The value's type is not examined: four bytes are a mode whatever they are stored as.
        {REG_BINARY, &binaryMode, sizeof(binaryMode), L".x.."},
    };
    for (const auto& c : cases) {
        writeRawValue(HKEY_CURRENT_USER, productPath, L"debugDataTransfer", c.modeType, c.mode,
                      c.modeBytes);
        writeRawValue(HKEY_CURRENT_USER, productPath, L"debugLogFile", REG_SZ, unterminated,
                      sizeof(unterminated));
        writeRawValue(HKEY_CURRENT_USER, productPath, L"debugLogFileWriteNewFile", REG_BINARY,
                      binaryFlag, 1);
        std::wstring modes, fileName;
        bool checked = true;
        runDialog([&](dialogDriver& d) {
            HWND dialog = d.waitForDialog();
            modes = checkedModes(d, dialog);
            fileName = d.text(dialog, IDC_DEBUG_LOG_FILE);
            checked = d.isChecked(dialog, IDC_DELETE_LOG_FILE);
            d.close(dialog, IDCANCEL);
        });
        EXPECT_EQ(c.checked, modes);
        EXPECT_EQ(L"C:\\u.log", fileName);
        EXPECT_FALSE(checked) << "a one-byte 0 replaces the low byte of the default 1";
    }
}

TEST_F(mainDialog, veryLongFileNameSurvivesTheRoundTrip) {
    const std::wstring longName = L"C:\\" + std::wstring(100000, L'n');
    storeText(L"debugLogFile", longName);
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        d.click(dialog, IDC_APPLY);
        d.close(dialog, IDCANCEL);
    });
    expectStored(HKEY_CURRENT_USER, productPath, 0, longName, 1);
}

TEST_F(mainDialog, systemMenuEndsWithTheAboutEntryThatOpensTheAboutBox) {
    std::wstring lastText;
    UINT lastId = 0;
    bool separatorBefore = false;
    std::vector<std::wstring> aboutCaptions;
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        HMENU menu = ::GetSystemMenu(dialog, FALSE);
        const int count = ::GetMenuItemCount(menu);
        wchar_t text[64] = L"";
        ::GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
        lastText = text;
        lastId = ::GetMenuItemID(menu, count - 1);
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(count - 2), TRUE, &info);
        separatorBefore = (info.fType & MFT_SEPARATOR) != 0;
        for (WPARAM command : {16u, 17u, 31u}) {
            ::PostMessageW(dialog, WM_SYSCOMMAND, command, 0);
            HWND about = d.waitForDialog(L"About Logsmith");
            aboutCaptions.push_back(d.text(about));
            d.close(about, IDOK);
        }
        d.close(dialog, IDCANCEL);
    });
    EXPECT_EQ(L"&About Logsmith...", lastText);
    EXPECT_EQ(16u, lastId);
    EXPECT_TRUE(separatorBefore);
    EXPECT_EQ((std::vector<std::wstring>{L"About Logsmith", L"About Logsmith", L"About Logsmith"}),
              aboutCaptions);
}

TEST_F(mainDialog, applicationRunsTheDialogOnceAndEndsWithoutMessageLoop) {
    CDmDebugRegistryApp app;
    bool mainWindowWasDialog = false;
    BOOL result = TRUE;
    dialogDriver driver;
    driver.run(
        [&] {
            result = app.InitInstance();
            return INT_PTR{0};
        },
        [&](dialogDriver& d) {
            HWND dialog = d.waitForDialog(appCaption);
            mainWindowWasDialog =
                app.m_pMainWnd != nullptr && app.m_pMainWnd->GetSafeHwnd() == dialog;
            d.close(dialog, IDCANCEL);
        });
    EXPECT_FALSE(result);
    EXPECT_TRUE(mainWindowWasDialog);
    EXPECT_EQ(0u, app.m_dwRestartManagerSupportFlags);
}

TEST_F(mainDialog, browseTakesTheChosenFileAndCancelKeepsTheText) {
    const std::wstring chosen = appData.makeFile(L"picked.log", "x");
    std::wstring afterCancel, afterChoice;
    runDialog([&](dialogDriver& d) {
        HWND dialog = d.waitForDialog();
        d.click(dialog, IDC_MODE_TARGET);
        d.setText(dialog, IDC_DEBUG_LOG_FILE, L"C:\\typed\\name.log");

        d.postClick(dialog, IDC_BROWSE);
        HWND files = d.waitForOwnedDialog(dialog);
        d.close(files, IDCANCEL);
        d.send(dialog, WM_NULL); // the handler has returned
        afterCancel = d.text(dialog, IDC_DEBUG_LOG_FILE);

        d.postClick(dialog, IDC_BROWSE);
        files = d.waitForOwnedDialog(dialog);
        d.setText(files, 0x47C, chosen.c_str());
        ::PostMessageW(files, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(files, IDOK)));
        d.waitUntilClosed(files);
        d.send(dialog, WM_NULL);
        afterChoice = d.text(dialog, IDC_DEBUG_LOG_FILE);
        d.close(dialog, IDCANCEL);
    });
    EXPECT_EQ(L"C:\\typed\\name.log", afterCancel);
    EXPECT_EQ(chosen, afterChoice);
}
