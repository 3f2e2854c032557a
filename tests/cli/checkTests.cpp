// check: what it finds wrong with the stored settings, and what it is told to expect.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>

TEST_F(logsmithctl, checkFindsMalformedDisagreeingAndUnreachableSettings) {
    const std::wstring file = m_folder / L"run.dmlog_x64";
    const auto storeFlag = [](HKEY root, const wchar_t* key, DWORD flag, DWORD type = REG_DWORD) {
        writeRawValue(root, key, debugLogFileWriteNewFileValue, type, &flag, sizeof(flag));
    };
    const auto storeBoth = [](DWORD mode, const std::wstring& name) {
        store(HKEY_CURRENT_USER, userKey, mode, name, 1);
        store(HKEY_USERS, defaultKey, mode, name, 1);
    };
    const auto slashed = [](std::wstring path) {
        std::replace(path.begin(), path.end(), L'\\', L'/');
        return path;
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
        int code;
        const wchar_t* finding;
    } rows[] = {
        {"agree", [&] {}, 0, L"compliant"},
        {"disagree", [&] { store(HKEY_USERS, defaultKey, logInGui, file, 1); }, 1,
         L"the profiles disagree on debugDataTransfer: 3427 (current user) and 5498"},
        {"malformed",
         [&] {
             const WORD half = 1;
             writeRawValue(HKEY_USERS, defaultKey, debugLogFileWriteNewFileValue, REG_DWORD, &half,
                           2);
         },
         1, L"debugLogFileWriteNewFile is wrong size 2 bytes"},
        {"missing folder",
         [&] {
             const std::wstring lost = m_folder / L"gone\\run.log";
             store(HKEY_CURRENT_USER, userKey, logInTarget, lost, 1);
             store(HKEY_USERS, defaultKey, logInTarget, lost, 1);
         },
         1, L"gone does not exist"},
        {"missing values", [&] { ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT"); }, 1,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: not configured (logging off)"},
        {"flags the dialog shows alike",
         [&] {
             storeFlag(HKEY_CURRENT_USER, userKey, 2);
             storeFlag(HKEY_USERS, defaultKey, 0xFFFFFFFF);
         },
         1, L"debugLogFileWriteNewFile is 2, not 0 or 1"},
        {"unknown type", [&] { storeFlag(HKEY_USERS, defaultKey, 1, REG_DWORD_BIG_ENDIAN); }, 1,
         L"is wrong type REG_DWORD_BIG_ENDIAN"},
        {"junk after the terminator",
         [&] { storeBoth(logInTarget, std::wstring(file + L'\0') + L"junk"); }, 1,
         L"debugLogFile is a string with 10 bytes after its terminator"},
        {"empty name", [&] { storeBoth(logInTarget, L""); }, 1, L"the log file name is empty"},
        {"folder as file", [&] { storeBoth(logInGui, m_folder.path()); }, 1, L" is a folder"},
        {"forward slashes", [&] { storeBoth(logInGui, slashed(file)); }, 0, L"compliant"},
        {"unholdable characters", [&] { storeBoth(logInGui, m_folder / L"a?*|\"<>.log"); }, 1,
         L"holds characters that no file name can hold: ? * | \" < >"},
        {"control character", [&] { storeBoth(logInGui, m_folder / L"a\x01.log"); }, 1,
         L"a\\x01.log holds characters that no file name can hold: \\x01"},
        {"colon", [&] { storeBoth(logInGui, m_folder / L"a:b"); }, 1, L"can hold: :"},
        {"device", [&] { storeBoth(logInGui, m_folder / L"CON"); }, 1, L"the device name CON,"},
        {"device with extension", [&] { storeBoth(logInGui, L"C:\\nul.txt"); }, 1, L"nul.txt,"},
        {"numbered device", [&] { storeBoth(logInGui, m_folder / L"COM1.log"); }, 1, L"COM1.log,"},
        {"printer", [&] { storeBoth(logInGui, m_folder / L"lpt9"); }, 1, L"lpt9,"},
        {"console", [&] { storeBoth(logInGui, m_folder / L"CONOUT$"); }, 1, L"CONOUT$,"},
        {"device folder", [&] { storeBoth(logInGui, m_folder / L"aux\\a.log"); }, 1, L"aux,"},
        {"dot", [&] { storeBoth(logInGui, m_folder / L"run."); }, 1, L"ends in a dot"},
        {"space", [&] { storeBoth(logInGui, m_folder / L"run "); }, 1, L"ends in a space"},
        {"separator", [&] { storeBoth(logInGui, m_folder / L"new\\"); }, 1,
         L"new\\ names a folder, not a file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        store(HKEY_CURRENT_USER, userKey, logInTarget, file, 1);
        store(HKEY_USERS, defaultKey, logInTarget, file, 1);
        row.arrange();
        const result checked = tool({L"check", L"--same"});
        EXPECT_EQ(row.code, checked.code);
        EXPECT_NE(std::wstring::npos, checked.out.find(row.finding)) << checked.out;
    }
}

TEST_F(logsmithctl, checkPassesAKnownStateAndTestsWhatItIsToldToExpect) {
    const std::wstring file = m_folder / L"run.log";
    const std::wstring upper = m_folder.path() + L"\\RUN.LOG";
    const elevationQuery previous = setElevationQuery([] { return false; });
    const struct {
        const char* name;
        bool configured;
        std::vector<std::wstring> arguments;
        int code;
        const wchar_t* text;
    } rows[] = {
        {"never configured",
         false,
         {},
         0,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: not "
         L"configured (logging off)\ncompliant"},
        {"never configured is off", false, {L"--expect-mode", L"NONE"}, 0, L"compliant"},
        {"delete first shows yes",
         false,
         {L"--expect-delete-first", L"no"},
         1,
         L"debugLogFileWriteNewFile is yes, expected no"},
        {"profiles differ", true, {}, 0, L"compliant"},
        {"unless the same",
         true,
         {L"--same"},
         1,
         L"disagree on debugDataTransfer: 5498 (current user) and 3427 (.DEFAULT)"},
        {"expected in scope",
         true,
         {L"--scope", L"User", L"--expect-mode", L"gui", L"--expect-file", upper,
          L"--expect-delete-first", L"no"},
         0,
         L"compliant"},
        {"not expected",
         true,
         {L"--expect-mode", L"gui"},
         1,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: debugDataTransfer is target (3427), "
         L"expected gui (5498)"},
        {"no elevation for every user", true, {L"--scope", L"all-users"}, 4, L""},
        {"usage", true, {L"--expect-mode", L"loud"}, 2, L""},
        {"new users without all-users", true, {L"--include-new-users"}, 2, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
        ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT");
        if (row.configured) {
            store(HKEY_CURRENT_USER, userKey, logInGui, file, 0);
            store(HKEY_USERS, defaultKey, logInTarget, file, 1);
        }
        std::vector<std::wstring> arguments = {L"check"};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        stringOutput out;
        stringOutput err;
        EXPECT_EQ(row.code, run(arguments, out, err)) << out.text() << err.text();
        EXPECT_NE(std::wstring::npos, out.text().find(row.text)) << out.text();
    }
    setElevationQuery(previous);

    const nlohmann::json json =
        nlohmann::json::parse(toUtf8(tool({L"check", L"--json", L"--expect-mode", L"both"}).out));
    EXPECT_EQ(1, json["formatVersion"]);
    EXPECT_EQ(1, json["exitCode"]);
    EXPECT_EQ(2u, json["findings"].size());
    EXPECT_EQ("default", json["profiles"][1]["scope"]);
    EXPECT_EQ("target", json["profiles"][1]["mode"]["name"]) << "the shape of show --json";
}
