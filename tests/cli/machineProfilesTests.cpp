#include "cli/machineProfiles.h"

#include "support/uniqueResource.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(machineProfiles, peopleAreListedOnceAndServicesNot) {
    const struct {
        const wchar_t* sid;
        bool person;
    } rows[] = {
        {L"S-1-5-21-1-2-3-1001", true}, {L"S-1-12-1-1-2-3-4", true}, {L"S-1-5-18", false},
        {L"S-1-5-19", false},           {L"S-1-5-20", false},        {L".DEFAULT", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.person, isPersonSid(r.sid)) << r.sid;
    std::vector<machineProfile> profiles;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), listMachineProfiles(profiles));
    // Under Wine the only person is the prefix's user, whose hive is loaded.
    ASSERT_FALSE(profiles.empty());
    for (const machineProfile& profile : profiles) {
        EXPECT_TRUE(isPersonSid(profile.sid)) << profile.sid;
        EXPECT_FALSE(profile.sid.ends_with(L"_Classes")) << profile.sid;
        EXPECT_EQ(1, std::count_if(profiles.begin(), profiles.end(),
                                   [&](const machineProfile& p) { return p.sid == profile.sid; }));
    }
    EXPECT_FALSE(profiles.front().account.empty()) << "the prefix's user has a name";
}

// A hive of our own: saved from a scratch key, mounted under HKEY_USERS, read, unmounted.
TEST(machineProfiles, aHiveFileIsMountedForTheChangeAndUnmountedAfter) {
    tempFolder folder;
    const std::wstring file = folder / L"NTUSER.DAT";
    const std::wstring scratch =
        L"Software\\LogsmithTests\\hive" + std::to_wstring(::GetCurrentProcessId());
    {
        uniqueHkey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr,
                                                   0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
        const DWORD mode = 5498;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key.get(), L"debugLogMode", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&mode), sizeof(mode)));
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), enableHivePrivileges());
        ASSERT_EQ(ERROR_SUCCESS, ::RegSaveKeyW(key.get(), file.c_str(), nullptr));
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
    const std::wstring name = L"LogsmithTestHive" + std::to_wstring(::GetCurrentProcessId());
    {
        mountedHive hive;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), hive.mount(file, name));
        DWORD mode = 0;
        DWORD size = sizeof(mode);
        EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_USERS, name.c_str(), L"debugLogMode",
                                                RRF_RT_REG_DWORD, nullptr, &mode, &size));
        EXPECT_EQ(5498u, mode);
    }
    uniqueHkey gone;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              ::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, gone.put()));
    mountedHive missing;
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), missing.mount(folder / L"none.dat", name));
}
