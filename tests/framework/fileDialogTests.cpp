#include "framework/CFileDialog.h"
#include "tests/testing/dialogDriver.h"

#include <gtest/gtest.h>

#include <string>

namespace {
constexpr int fileNameCombo = 0x47C;
const wchar_t* const logFilter =
    L"Driftmark Log Files (*.dmlog_x64;*.log;*.txt)|*.dmlog_x64;*.log;*.txt||";

std::wstring temporaryFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(ARRAYSIZE(folder), folder);
    if (length == 0 || length >= ARRAYSIZE(folder))
        return std::wstring();
    std::wstring result(folder, length);
    if (!result.empty() && result.back() == L'\\')
        result.pop_back();
    return result;
}
} // namespace

TEST(CFileDialog, filterBecomesTheSystemForm) {
    using namespace std::string_literals;
    const struct {
        const wchar_t* filter;
        std::wstring expected;
    } cases[] = {
        {L"Text (*.txt)|*.txt|Logs (*.log)|*.log||",
         L"Text (*.txt)\0*.txt\0Logs (*.log)\0*.log\0\0"s},
        {L"Text (*.txt)|*.txt", L"Text (*.txt)\0*.txt\0\0"s},
        {L"", L"\0\0"s},
        {nullptr, L"\0\0"s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, CFileDialog::systemFilter(c.filter));
}

TEST(CFileDialog, constructionKeepsLongNamesAndSetsTheStyle) {
    const std::wstring longName = L"C:\\" + std::wstring(600, L'n') + L".log";
    CFileDialog dialog(TRUE, L"log", longName.c_str(), 6, logFilter);
    EXPECT_EQ(longName, dialog.m_ofn.lpstrFile) << "no truncation of an initial name";
    EXPECT_EQ(sizeof(OPENFILENAMEW), dialog.m_ofn.lStructSize);
    EXPECT_EQ(static_cast<DWORD>(6 | OFN_EXPLORER), dialog.m_ofn.Flags);
    EXPECT_STREQ(L"log", dialog.m_ofn.lpstrDefExt);

    CFileDialog plain(FALSE, nullptr, nullptr, 0, nullptr, nullptr, 0, FALSE);
    EXPECT_EQ(0u, plain.m_ofn.Flags);
    EXPECT_EQ(nullptr, plain.m_ofn.lpstrDefExt);
    EXPECT_EQ(nullptr, plain.m_ofn.lpstrFilter);
    EXPECT_STREQ(L"", plain.m_ofn.lpstrFile);
}

TEST(CFileDialog, defaultExtensionReachesTheSystemWithoutWildcardOrPeriod) {
    const wchar_t* const cases[][2] = {{L"*.dmlog_x64", L"dmlog_x64"}, {L".x", L"x"}, {L"x", L"x"}};
    for (const auto& c : cases)
        EXPECT_STREQ(c[1], CFileDialog(FALSE, c[0]).m_ofn.lpstrDefExt) << "given " << c[0];
}

TEST(CFileDialog, returnsTheChosenFileAndItsParts) {
    const std::wstring folder = temporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::wstring chosen = folder + L"\\logsmith pick.TXT";

    CFileDialog dialog(TRUE, L"txt", L"start.log", 6, logFilter);
    dialogDriver driver;
    const INT_PTR result = driver.run([&] { return dialog.DoModal(); },
                                      [&](dialogDriver& d) {
                                          HWND window = d.waitForDialog();
                                          d.setText(window, fileNameCombo, chosen.c_str());
                                          d.close(window, IDOK);
                                      });
    ASSERT_EQ(IDOK, result);
    EXPECT_EQ(CString(chosen.c_str()), dialog.GetPathName());
    EXPECT_EQ(CString(L"logsmith pick.TXT"), dialog.GetFileName());
    EXPECT_EQ(CString(L"TXT"), dialog.GetFileExt());
    EXPECT_EQ(CString(L"logsmith pick"), dialog.GetFileTitle());
}

TEST(CFileDialog, cancelledDialogReportsCancel) {
    CFileDialog dialog(TRUE, nullptr, L"start.log", 6, logFilter);
    dialogDriver driver;
    const INT_PTR result =
        driver.run([&] { return dialog.DoModal(); },
                   [](dialogDriver& d) { d.close(d.waitForDialog(), IDCANCEL); });
    EXPECT_EQ(IDCANCEL, result);
}
