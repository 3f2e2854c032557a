// reset: the values go first, then the keys they leave empty.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"

TEST_F(logsmithctl, resetRemovesTheValuesThenTheKeysLeftEmpty) {
    const elevationQuery previous = setElevationQuery([] { return false; });
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
    store(HKEY_USERS, defaultKey, logInGui, L"C:\\a.log", 0);
    writeRawValue(HKEY_CURRENT_USER, L"Software\\Tarnwick\\Other", L"kept", REG_SZ, L"", 2);
    result reset = tool({L"reset"});
    EXPECT_EQ(0, reset.code) << reset.err;
    EXPECT_NE(std::wstring::npos, reset.out.find(L"removed: HKEY_CURRENT_USER\\Software\\Tarnwick\\"
                                                 L"Driftmarkx64\\debugLogFile\n"))
        << reset.out;
    EXPECT_NE(std::wstring::npos, reset.out.find(L"skipped: HKEY_USERS\\.DEFAULT")) << reset.out;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"Software\\Tarnwick\\Other"));
    EXPECT_TRUE(keyExists(HKEY_USERS, defaultKey)) << "not elevated: .DEFAULT stays";

    reset = tool({L"reset", L"--scope", L"Default"});
    EXPECT_EQ(0, reset.code) << reset.err;
    EXPECT_FALSE(keyExists(HKEY_USERS, L".DEFAULT\\Software\\Tarnwick"));
    reset = tool({L"reset", L"--scope", L"all"});
    EXPECT_EQ(0, reset.code) << "an empty profile is no failure";
    EXPECT_NE(std::wstring::npos, reset.out.find(L"nothing to remove: HKEY_USERS\\.DEFAULT"));
    EXPECT_EQ(1, tool({L"reset", L"--scope", L"all-users"}).code) << "needs elevation";
    setElevationQuery(previous);
}
