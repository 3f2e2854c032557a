// What the settings file does when it goes: the save of a bound name, its failure reported on
// the debugger output, and nothing at all for a store that was only loaded.
#include "settings/readWriteSettingsToFile.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/debugOutputCapture.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <string>

TEST(settingsFileDestruction, theDestructorsSaveReportsOnlyItsFailure) {
    tempFolder folder; // ASCII path: Wine hands debugger text on in the ANSI code page
    const std::wstring saved = folder / L"saved.settings";
    const std::wstring unreachable = folder / L"missing\\lost.settings";
    struct row {
        const char* name;
        std::wstring path;
        bool loadOnly; // load(path) without setFileName
        std::string fileAfter;
        bool reported;
    };
    const row rows[] = {
        {"bound, saved", saved, false, encodeImage({{L"v", REG_DWORD, std::string(4, '\7')}}),
         false},
        {"bound, save fails", unreachable, false, "<missing>", true},
        {"loaded, never bound", saved, true, encodeImage({}), false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        writeWholeFile(saved, encodeImage({}));
        debugOutputCapture capture;
        {
            readWriteSettingsToFile store;
            if (r.loadOnly)
                ASSERT_EQ(1, store.load(r.path.c_str()));
            else
                ASSERT_EQ(1, store.setFileName(r.path.c_str()));
            ASSERT_EQ(1, store.writeDword(nullptr, L"v", 0x07070707));
        }
        EXPECT_EQ(r.fileAfter, readWholeFile(r.path));
        const std::vector<std::string> lines = capture.lines();
        if (!r.reported) {
            EXPECT_TRUE(lines.empty()) << lines.front();
            continue;
        }
        ASSERT_EQ(1u, lines.size());
        const std::string path(r.path.begin(), r.path.end());
        EXPECT_NE(std::string::npos, lines[0].find(path + ": error 3")) << lines[0];
    }
}
