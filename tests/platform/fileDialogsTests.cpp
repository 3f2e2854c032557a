#include "platform/IndexedFileDialog.h"
#include "platform/LogFileBrowserDialog.h"

#include "resources/resource.h"
#include "tests/testing/dialogDriver.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(findFilterIndex, numbersThePatternListsAndMatchesExtensionsInAnyCase) {
    const wchar_t* twoEntries = L"Text Files (*.txt)|*.txt|Log Files (*.log)|*.log||";
    const wchar_t* browse = L"Driftmark Log Files (*.dmlog_x64;*.log;*.txt)|*.dmlog_x64;*.log;"
                            L"*.txt|All Files (*.*)|*.*||";
    struct example {
        const wchar_t* filter;
        const wchar_t* extension;
        int expected;
    };
    const std::wstring longExtension(300, L'x');
    const std::wstring longFilter = L"Long (*)|*." + longExtension + L"||";
    const example examples[] = {
        {twoEntries, L"log", 2},
        {twoEntries, L"LOG", 2},
        {twoEntries, L"txt", 1},
        {twoEntries, L"doc", 0},
        {twoEntries, L"", 0},
        {browse, L"txt", 1},
        {browse, L"*.dmlog_x64", 0}, // the Browse button's wildcard default extension
        {browse, L"x64", 0},
        {L"All (*)|*||", L"", 0}, // a pattern without a dot never matches
        {L"Any (*.*)|*.*|Text (*.txt)|*.txt||", L"txt", 2},
        {L"*.txt|*.log||", L"log", 2}, // without descriptions every piece is a list
        {L"||||", L"txt", 0},
        {L"", L"txt", 0},
        {L"Text (*.txt)|*.txt;;*.log|", L"LOG", 1},
        {longFilter.c_str(), longExtension.c_str(), 1},
        {nullptr, L"txt", 0},
        {twoEntries, nullptr, 0},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(::testing::Message() << "entry " << (&e - examples));
        EXPECT_EQ(e.expected, CIndexedFileDialog::findFilterIndex(e.filter, e.extension));
    }
}

TEST(CIndexedFileDialog, preselectsTheFilterEntryOfItsDefaultExtension) {
    CIndexedFileDialog log(TRUE, L"log", nullptr, OFN_HIDEREADONLY,
                           L"Text Files (*.txt)|*.txt|Log Files (*.log)|*.log||");
    EXPECT_EQ(2u, log.m_ofn.nFilterIndex);
    EXPECT_EQ(1, log.m_useFolderMemory);
    EXPECT_NE(0u, log.m_ofn.Flags & OFN_EXPLORER);
    EXPECT_NE(0u, log.m_ofn.Flags & OFN_HIDEREADONLY);

    CIndexedFileDialog none(FALSE, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(0u, none.m_ofn.nFilterIndex);

    CIndexedFileDialog wildcard(TRUE, L"*.log", nullptr, 0, L"Log Files (*.log)|*.log||");
    EXPECT_STREQ(L"log", wildcard.m_ofn.lpstrDefExt);
    EXPECT_EQ(0u, wildcard.m_ofn.nFilterIndex) << "found from the text given, as before";
}

namespace {

constexpr int fileNameCombo = 0x47C;

std::wstring withoutTrailingBackslash(std::wstring folder) {
    if (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

// Runs the system's file dialog through CIndexedFileDialog. The caller's own initial folder is
// the temporary root, so a dialog that opens anywhere else opened in a remembered folder.
class folderMemory : public ::testing::Test {
protected:
    void SetUp() override { s_folderByExtension.RemoveAll(); }
    void TearDown() override { s_folderByExtension.RemoveAll(); }

    // One dialog with the default extension: chooses the file (or cancels when choice is empty)
    // and gives the folder the dialog opened in.
    std::wstring openIn(const wchar_t* defaultExtension, const std::wstring& choice = L"",
                        int useFolderMemory = 1) {
        CIndexedFileDialog dialog(TRUE, defaultExtension, nullptr,
                                  OFN_HIDEREADONLY | OFN_NOCHANGEDIR,
                                  L"Text Files (*.txt)|*.txt|Log Files (*.log)|*.log||");
        dialog.setUseFolderMemory(useFolderMemory);
        dialog.m_ofn.lpstrInitialDir = m_root.path().c_str();
        std::wstring openedIn;
        dialogDriver driver;
        const INT_PTR result = driver.run([&] { return dialog.DoModal(); },
                                          [&](dialogDriver& d) {
                                              HWND window = d.waitForDialog();
                                              wchar_t folder[MAX_PATH] = {};
                                              d.send(window, CDM_GETFOLDERPATH, MAX_PATH,
                                                     reinterpret_cast<LPARAM>(folder));
                                              openedIn = withoutTrailingBackslash(folder);
                                              if (choice.empty()) {
                                                  d.close(window, IDCANCEL);
                                                  return;
                                              }
                                              d.setText(window, fileNameCombo, choice.c_str());
                                              d.close(window, IDOK);
                                          });
        EXPECT_EQ(choice.empty() ? IDCANCEL : IDOK, result);
        EXPECT_EQ(m_root.path().c_str(), dialog.m_ofn.lpstrInitialDir)
            << "the caller's initial folder is back";
        return openedIn;
    }

    std::wstring remembered(const wchar_t* extension) {
        CString folder(L"(none)");
        s_folderByExtension.Lookup(extension, folder);
        return folder.str();
    }

    tempFolder m_root;
};

} // namespace

TEST_F(folderMemory, recordsTheChosenFolderAndOpensThereNextTime) {
    const std::wstring work = m_root.makeFolder(L"work");
    EXPECT_EQ(m_root.path(), openIn(L"txt", work + L"\\a.TXT"));
    EXPECT_EQ(work, remembered(L"txt"));

    EXPECT_EQ(work, openIn(L"txt"));
    EXPECT_EQ(work, openIn(L"TXT"));
    EXPECT_EQ(m_root.path(), openIn(L"log")) << "other extensions have their own folders";
    EXPECT_EQ(m_root.path(), openIn(L"*.txt")) << "a wildcard default extension finds nothing";

    // A later choice replaces the earlier one.
    const std::wstring other = m_root.makeFolder(L"other");
    openIn(L"txt", other + L"\\b.txt");
    EXPECT_EQ(other, remembered(L"txt"));
    EXPECT_EQ(1, s_folderByExtension.GetCount());
}

TEST_F(folderMemory, ignoresAMissingRememberedFolder) {
    const std::wstring gone = m_root.makeFolder(L"gone");
    openIn(L"log", gone + L"\\x.log");
    removeTestTree(gone);
    EXPECT_EQ(m_root.path(), openIn(L"log"));
    EXPECT_EQ(gone, remembered(L"log"));
}

TEST_F(folderMemory, cancelRecordsNothingAndSwitchedOffMemoryIsNeitherAppliedNorRecorded) {
    const std::wstring work = m_root.makeFolder(L"work");
    openIn(L"txt");
    EXPECT_EQ(0, s_folderByExtension.GetCount());

    openIn(L"txt", work + L"\\a.txt", 0);
    EXPECT_EQ(0, s_folderByExtension.GetCount());
    EXPECT_EQ(m_root.path(), openIn(L"txt", work + L"\\a.txt"));
    EXPECT_EQ(m_root.path(), openIn(L"txt", L"", 0));
    EXPECT_EQ(work, openIn(L"txt"));
}

TEST_F(folderMemory, keysFilesWithoutExtensionAndDriveRoots) {
    const std::wstring work = m_root.makeFolder(L"work");
    openIn(nullptr, work + L"\\README");
    EXPECT_EQ(work, remembered(L""));
    EXPECT_EQ(work, openIn(nullptr));

    openIn(L"ini", L"C:\\boot.ini");
    EXPECT_EQ(L"C:\\", remembered(L"ini")) << "C: alone names the current folder";
}

TEST(CLogFileBrowserDialog, showsTheTextUnderTheCaptionAndAlwaysEndsWithCancel) {
    struct example {
        const wchar_t* title;
        const wchar_t* text;
        bool closeBox; // else the Close button
    };
    const example examples[] = {
        {L"dmLogUI_x64.txt", L"first line", false},
        {L"", L"", true},
    };
    for (const example& e : examples) {
        CLogFileBrowserDialog dialog(IDD_LOG_FILE_BROWSER, IDC_LOG_FILE_TEXT);
        EXPECT_TRUE(dialog.m_text.IsEmpty());
        EXPECT_TRUE(dialog.m_title.IsEmpty());
        dialog.m_title = e.title;
        dialog.m_text = e.text;
        std::wstring caption, shown;
        LONG_PTR editStyle = 0;
        dialogDriver driver;
        const INT_PTR result = driver.run(
            [&] { return dialog.DoModal(); },
            [&](dialogDriver& d) {
                HWND window = d.waitForDialog();
                caption = d.text(window);
                shown = d.text(window, IDC_LOG_FILE_TEXT);
                editStyle = ::GetWindowLongPtrW(::GetDlgItem(window, IDC_LOG_FILE_TEXT), GWL_STYLE);
                if (!e.closeBox) {
                    d.close(window, IDCANCEL);
                    return;
                }
                ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
                d.waitUntilClosed(window);
            });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(e.title, caption);
        EXPECT_EQ(e.text, shown);
        EXPECT_NE(0, editStyle & ES_READONLY);
    }
}
