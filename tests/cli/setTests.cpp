// set: what it writes to each profile, what it leaves alone, and what it says when it cannot.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/machineProfiles.h"
#include "platform/fileFunctions.h"

#include <nlohmann/json.hpp>

TEST_F(logsmithctl, setWritesWhatApplyWritesToEachScopeAndShowReadsItBack) {
    const std::wstring file = m_folder / L"logs\\run \"1\".dmlog_x64";
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 0);

    result set = tool({L"set", L"--mode", L"both", L"--file", file, L"--scope", L"default"});
    EXPECT_EQ(0, set.code) << set.err;
    expectStored(HKEY_USERS, defaultKey, logInTargetAndGui, file, 0);
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 0);

    // Options not given stay as each profile stores them.
    set = tool({L"set", L"--delete-first", L"yes"});
    EXPECT_EQ(0, set.code) << set.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 1);
    expectStored(HKEY_USERS, defaultKey, logInTargetAndGui, file, 1);

    set = tool({L"set", L"--mode", L"target", L"--file", file, L"--scope", L"user"});
    const result shown = tool({L"show", L"--json"});
    ASSERT_EQ(0, shown.code);
    const nlohmann::json json = nlohmann::json::parse(toUtf8(shown.out));
    ASSERT_EQ(2u, json["profiles"].size());
    const nlohmann::json& user = json["profiles"][0];
    EXPECT_EQ("user", user["scope"]);
    EXPECT_EQ("target", user["mode"]["name"]);
    EXPECT_EQ(3427, user["mode"]["code"]);
    EXPECT_EQ(toUtf8(file), user["logFile"]["value"]);
    EXPECT_EQ(true, user["deleteFirst"]["value"]);
    EXPECT_EQ(true, user["wellFormed"]);
    EXPECT_EQ("both", json["profiles"][1]["mode"]["name"]);

    const result text = tool({L"show", L"--scope", L"user"});
    EXPECT_NE(std::wstring::npos, text.out.find(L"target (3427)")) << text.out;
    EXPECT_EQ(std::wstring::npos, text.out.find(L".DEFAULT")) << text.out;
}

TEST_F(logsmithctl, setWithoutElevationWritesTheUserAndSaysWhyDefaultWasSkipped) {
    const elevationQuery previous = setElevationQuery([] { return false; });
    const result both = tool({L"set", L"--mode", L"gui", L"--file", L"C:\\a.log"});
    EXPECT_EQ(0, both.code) << both.err;
    EXPECT_NE(std::wstring::npos, both.out.find(L"skipped: HKEY_USERS\\.DEFAULT")) << both.out;
    EXPECT_NE(std::wstring::npos, both.err.find(L"--scope user")) << both.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
    uniqueHkey untouched;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_USERS, defaultKey, 0, KEY_READ, untouched.put()));
    // Asked for by name, the profile is written (Wine lets anybody), with its own defaults.
    EXPECT_EQ(0, tool({L"set", L"--scope", L"default", L"--mode", L"gui"}).code);
    EXPECT_EQ(logInGui, readRawValue(HKEY_USERS, defaultKey, debugDataTransferValue).dword());
    setElevationQuery(previous);
}

TEST_F(logsmithctl, setWritesOnlyWhatItIsToldAndEachProfilesOwnDefaults) {
    const std::wstring service = L"C:\\logs\\service.dmlog_x64";
    const wchar_t* const systemProfile =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-18";
    const std::wstring listed = L"%SystemDrive%\\sys\\";
    const struct {
        const char* name;
        bool stored;
        bool profileListed;
        const wchar_t* option;
        DWORD mode;
        std::wstring file;
        DWORD flag;
    } rows[] = {
        {"stored values stay", true, true, L"--delete-first=no", logInTarget, service, 0},
        {"defaults once", false, true, L"--mode=gui", logInGui,
         L"C:\\sys\\AppData\\Roaming\\Tarnwick\\dmDataLog.dmlog_x64", 0},
        {"no default known", false, false, L"--delete-first=yes", logNothing, L"", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE");
        store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\admin.log", 1);
        if (row.stored)
            store(HKEY_USERS, defaultKey, logInTarget, service, 1);
        if (row.profileListed)
            writeRawValue(HKEY_LOCAL_MACHINE, systemProfile, L"ProfileImagePath", REG_EXPAND_SZ,
                          listed.c_str(), static_cast<DWORD>((listed.size() + 1) * 2));
        EXPECT_EQ(0, tool({L"set", L"--scope", L"default", row.option}).code);
        EXPECT_EQ(row.mode, readRawValue(HKEY_USERS, defaultKey, debugDataTransferValue).dword());
        EXPECT_EQ(row.flag,
                  readRawValue(HKEY_USERS, defaultKey, debugLogFileWriteNewFileValue).dword());
        const rawRegistryValue file = readRawValue(HKEY_USERS, defaultKey, debugLogFileValue);
        EXPECT_EQ(row.file, file.text());
        EXPECT_EQ(row.file.empty(), file.status == ERROR_FILE_NOT_FOUND);
        expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\admin.log", 1);
    }
    EXPECT_NE(std::wstring::npos,
              tool({L"show"}).out.find(L"log file:      missing; default (decided by the process "
                                       L"that logs)"));
    // Nothing is created for a name that is not stored.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
    EXPECT_EQ(0, tool({L"set", L"--scope", L"user", L"--file=-x.log"}).code);
    expectStored(HKEY_CURRENT_USER, userKey, logNothing, L"-x.log", 0);
    EXPECT_FALSE(folderExists(m_folder / L"Tarnwick"));
}

TEST_F(logsmithctl, aProfileThatCannotBeWrittenIsReportedWithTheDialogsText) {
    makeRootRefuseCreation(HKEY_USERS);
    const result set = tool({L"set", L"--mode", L"gui", L"--file", L"C:\\a.log"});
    EXPECT_EQ(1, set.code);
    EXPECT_NE(std::wstring::npos,
              set.err.find(L"HKEY_USERS\\.DEFAULT\\Software\\Tarnwick\\Driftmarkx64: Unable to "
                           L"open registry for writing logging data. Try running this tool as "
                           L"Administrator ("))
        << set.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
}

TEST_F(logsmithctl, setWarnsAboutLogFilesThatCannotBeCreatedAndStrictRefusesThem) {
    const struct {
        std::wstring file;
        const wchar_t* warning;
    } rows[] = {
        {L"logs\\run.log", L"logs\\run.log is not a full path"},
        {m_folder / L"gone\\run.log", L"gone does not exist"},
        {m_folder.path(), L" is a folder"},
        {m_folder / L"%USERNAME%.log", L"holds %VAR% text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.file));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
        const result strict = tool({L"set", L"--scope", L"user", L"--file", row.file, L"--strict"});
        EXPECT_EQ(1, strict.code);
        EXPECT_NE(std::wstring::npos, strict.err.find(row.warning)) << strict.err;
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey)) << "nothing written";
        const result warned = tool({L"set", L"--scope", L"user", L"--file", row.file});
        EXPECT_EQ(0, warned.code);
        EXPECT_NE(std::wstring::npos, warned.err.find(L"warning: ")) << warned.err;
        EXPECT_EQ(row.file, readRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue).text());
    }
    EXPECT_EQ(
        std::wstring::npos,
        tool({L"set", L"--scope", L"user", L"--file", m_folder / L"ok.log"}).err.find(L"warning"));
}

// The scheduler's classes are registered in the real HKLM, which the scratch registry hides:
// registration fails, as on a machine whose Task Scheduler is not running.
TEST_F(logsmithctl, aTimedSetWhoseTaskCannotBeRegisteredWritesNothing) {
    const result timed = tool({L"set", L"--scope", L"user", L"--mode", L"gui", L"--for", L"8h"});
    EXPECT_EQ(1, timed.code);
    EXPECT_NE(std::wstring::npos, timed.err.find(L"cannot be registered")) << timed.err;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_EQ(2, tool({L"set", L"--mode", L"gui", L"--for", L"31d"}).code);
}

// Every person's profile: one loaded under HKEY_USERS, one in a hive file of our own that is
// mounted for the change and unmounted after, one whose hive file is damaged, and the template.
TEST_F(logsmithctl, allUsersReachesEveryPersonsProfileAndSkipsWhatCannotBeLoaded) {
    const elevationQuery previous = setElevationQuery([] { return true; });
    const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const auto listProfile = [&](const std::wstring& sid, const std::wstring& folder) {
        const std::wstring key = sid.empty() ? list : list + L"\\" + sid;
        writeRawValue(HKEY_LOCAL_MACHINE, key.c_str(),
                      sid.empty() ? L"Default" : L"ProfileImagePath", REG_SZ, folder.c_str(),
                      static_cast<DWORD>((folder.size() + 1) * 2));
    };
    const auto saveHive = [&](const std::wstring& folder) {
        m_folder.makeFolder(folder);
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), enableHivePrivileges());
        uniqueHkey empty;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"hive", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, empty.put(), nullptr));
        ASSERT_EQ(
            ERROR_SUCCESS,
            ::RegSaveKeyW(empty.get(), (m_folder / folder + L"\\NTUSER.DAT").c_str(), nullptr));
    };
    const std::wstring loaded = L"S-1-5-21-1-2-3-1001\\Software\\Tarnwick\\Driftmarkx64";
    writeRawValue(HKEY_USERS, L"S-1-5-21-1-2-3-1001_Classes", L"x", REG_SZ, L"", 2);
    writeRawValue(HKEY_USERS, L"S-1-5-21-1-2-3-1001\\Software", L"x", REG_SZ, L"", 2);
    saveHive(L"away");
    saveHive(L"template");
    m_folder.makeFolder(L"damaged");
    m_folder.makeFile(L"damaged\\NTUSER.DAT", "not a hive");
    listProfile(L"S-1-5-21-1-2-3-1002", m_folder / L"away");
    listProfile(L"S-1-5-21-1-2-3-1003", m_folder / L"damaged");
    listProfile(L"", m_folder / L"template");

    result set =
        tool({L"set", L"--scope", L"all-users", L"--include-new-users", L"--mode", L"gui"});
    EXPECT_EQ(1, set.code) << "the damaged hive was not written";
    EXPECT_NE(std::wstring::npos, set.err.find(L"(S-1-5-21-1-2-3-1003) from ")) << set.err;
    EXPECT_EQ(logInGui, readRawValue(HKEY_USERS, loaded.c_str(), debugDataTransferValue).dword());
    EXPECT_FALSE(keyExists(HKEY_USERS, L".DEFAULT")) << "all-users is people only";
    EXPECT_FALSE(keyExists(HKEY_USERS, L"S-1-5-21-1-2-3-1001_Classes\\Software"));
    // Wine drops what was written to a mounted hive when it unloads it (Windows writes it to the
    // file): the write is seen in the report, and the mount gone after.
    for (const wchar_t* mounted : {L"Logsmith_S-1-5-21-1-2-3-1002", L"Logsmith_NewUsers"}) {
        EXPECT_NE(std::wstring::npos,
                  set.out.find(L"written: HKEY_USERS\\" + std::wstring(mounted) + L"\\Software"))
            << set.out;
        EXPECT_FALSE(keyExists(HKEY_USERS, mounted));
    }
    const nlohmann::json shown = nlohmann::json::parse(
        toUtf8(tool({L"show", L"--scope", L"all-users", L"--json", L"--include-new-users"}).out));
    ASSERT_EQ(4u, shown["profiles"].size());
    EXPECT_EQ("S-1-5-21-1-2-3-1002", shown["profiles"][1]["sid"]);
    EXPECT_EQ(toUtf8(m_folder / L"away\\NTUSER.DAT"), shown["profiles"][1]["hiveFile"]);
    EXPECT_EQ(false, shown["profiles"][2]["readable"]);
    EXPECT_EQ("new-users", shown["profiles"][3]["scope"]);
    EXPECT_EQ(4, tool({L"check", L"--scope", L"all-users"}).code)
        << "the damaged hive is not known to be out of line";

    const result reset = tool({L"reset", L"--scope", L"all-users", L"--include-new-users"});
    EXPECT_EQ(1, reset.code);
    EXPECT_FALSE(keyExists(HKEY_USERS, L"S-1-5-21-1-2-3-1001\\Software\\Tarnwick"));
    EXPECT_NE(std::wstring::npos,
              reset.out.find(L"nothing to remove: HKEY_USERS\\Logsmith_NewUsers"))
        << reset.out;
    setElevationQuery(previous);
}
