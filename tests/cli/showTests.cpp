// show: what it reports of stored values, malformed or hostile ones included.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"

#include <nlohmann/json.hpp>

#include <sstream>

TEST_F(logsmithctl, showMarksMalformedValuesWithWhatTheDialogShows) {
    const DWORD wide = 0x12345678;
    const ULONGLONG tooWide = 3427;
    writeRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue, REG_QWORD, &tooWide, 8);
    writeRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue, REG_BINARY, &wide, 3);
    const result shown = tool({L"show", L"--scope", L"user", L"--json"});
    const nlohmann::json user = nlohmann::json::parse(toUtf8(shown.out))["profiles"][0];
    EXPECT_EQ("wrong type REG_QWORD", user["mode"]["state"]);
    EXPECT_EQ("none", user["mode"]["name"]) << "an 8-byte value cannot be read: the default";
    EXPECT_EQ("wrong type REG_BINARY", user["logFile"]["state"]);
    EXPECT_EQ("missing", user["deleteFirst"]["state"]);
    EXPECT_EQ(true, user["deleteFirst"]["value"]);
    EXPECT_EQ(false, user["wellFormed"]);

    const result text = tool({L"show", L"--scope", L"user"});
    EXPECT_NE(std::wstring::npos,
              text.out.find(L"wrong type REG_QWORD; the dialog shows: none (0)"))
        << text.out;
}

TEST_F(logsmithctl, storedTextCannotSteerTheOutput) {
    const std::wstring hostile = L"C:\\a\nHKEY_USERS\\x: fine\x1b[31m\r\n\xD800 \xD83D\xDE00";
    const std::wstring shownHostile =
        L"C:\\a\\nHKEY_USERS\\x: fine\\x1b[31m\\r\\n\\uD800 \xD83D\xDE00";
    ASSERT_EQ(0, tool({L"set", L"--file", hostile, L"--mode", L"gui"}).code);
    expectStored(HKEY_USERS, defaultKey, logInGui, hostile, 0);

    const result shown = tool({L"show"});
    EXPECT_NE(std::wstring::npos, shown.out.find(L"  log file:      " + shownHostile + L"\n"))
        << shown.out;
    // Whether the Task Scheduler can be asked from the scratch registry depends on whether its
    // service already runs; the line that says so is not counted.
    int lines = 0;
    std::wistringstream text(shown.out);
    for (std::wstring line; std::getline(text, line);)
        lines += line.starts_with(L"  expires: ") ? 0 : 1;
    EXPECT_EQ(9, lines) << shown.out;
    store(HKEY_USERS, defaultKey, logInGui, L"C:\\b", 1);
    EXPECT_NE(std::wstring::npos,
              tool({L"check", L"--same"}).out.find(shownHostile + L" (current user)"));

    // Names that differ only where UTF-8 or a C string cannot follow them.
    std::string image("\x05\0\0\0", 4);
    for (const std::wstring& name :
         std::initializer_list<std::wstring>{L"a\xD800", L"a\xDC00", L"a\xD83D\xDE00",
                                             std::wstring(L"a\0b", 3), std::wstring(L"a\0c", 3)}) {
        const std::uint32_t fields[] = {static_cast<std::uint32_t>((name.size() + 1) * 2)};
        const std::uint32_t value[] = {REG_DWORD, 8, 0xFFFFFFFF, 0xFFFFFFFF};
        image.append(reinterpret_cast<const char*>(fields), 4)
            .append(reinterpret_cast<const char*>(name.c_str()), fields[0])
            .append(reinterpret_cast<const char*>(value), sizeof(value));
    }
    const std::wstring saved = m_folder / L"names.settings";
    writeBytes(saved, image);
    EXPECT_NE(std::wstring::npos,
              tool({L"dump-settings", saved}).out.find(L"\"a\xD83D\xDE00\"  number  8"));
    const nlohmann::json records =
        nlohmann::json::parse(toUtf8(tool({L"dump-settings", saved, L"--json"}).out))["records"];
    ASSERT_EQ(5u, records.size());
    EXPECT_NE(records[0]["nameCodeUnits"], records[1]["nameCodeUnits"]);
    EXPECT_EQ(std::string("a\0b", 3), records[3]["name"]);
    EXPECT_EQ(std::string("a\0c", 3), records[4]["name"]);
    EXPECT_EQ("18446744073709551615", records[0]["valueText"]);
}
