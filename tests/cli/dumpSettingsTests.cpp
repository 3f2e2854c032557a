// dump-settings: the records of a settings file, and where it is damaged.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"
#include "settings/readWriteSettingsToFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>

TEST_F(logsmithctl, dumpSettingsListsRecordsAndPointsAtDamage) {
    const std::wstring saved = m_folder / L"store.settings";
    {
        readWriteSettingsToFile store;
        ASSERT_NE(0, store.writeDword(nullptr, L"count", 3427));
        ASSERT_NE(0, store.writeWord(nullptr, L"short", -2));
        ASSERT_NE(0, store.writeCString(nullptr, L"path", CString(L"C:\\a \"b\"")));
        ASSERT_NE(0, store.save(saved.c_str()));
    }
    const result listed = tool({L"dump-settings", saved});
    EXPECT_EQ(0, listed.code) << listed.err;
    EXPECT_EQ(L"\"count\"  number  4  3427 (0x00000d63)\n"
              L"\"path\"  string  18  \"C:\\\\a \\\"b\\\"\"\n"
              L"\"short\"  number  2  65534 (0xfffe)\n",
              listed.out);
    const nlohmann::json json =
        nlohmann::json::parse(toUtf8(tool({L"dump-settings", saved, L"--json"}).out));
    EXPECT_EQ(3u, json["records"].size());
    EXPECT_EQ("C:\\a \"b\"", json["records"][1]["value"]);

    std::string image = readBytes(saved);
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* damage;
        std::size_t recordsBefore;
    } rows[] = {
        {"empty", "", L"at offset 0: no record count", 0},
        {"truncated", image.substr(0, image.size() - 1),
         L"offset 72: record 3 of 3: the value size runs past the end", 2},
        {"huge count", std::string("\xFF\xFF\xFF\x7F", 4) + image.substr(4),
         L"record 4 of 2147483647: the name size is cut off", 3},
        {"text file", "[section]\r\nname=value\r\n", L"the name size runs past the end", 0},
        {"trailing bytes", image + "xyz", L"3 bytes after the last record", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring damaged = m_folder / L"damaged.settings";
        writeBytes(damaged, row.bytes);
        const result dumped = tool({L"dump-settings", damaged});
        EXPECT_EQ(1, dumped.code);
        EXPECT_NE(std::wstring::npos, dumped.err.find(row.damage)) << dumped.err;
        EXPECT_EQ(row.recordsBefore, static_cast<std::size_t>(
                                         std::count(dumped.out.begin(), dumped.out.end(), L'\n')));
    }
    EXPECT_EQ(1, tool({L"dump-settings", m_folder / L"missing.settings"}).code);
}
