#pragma once
// The people's profiles on a machine, for changes that must reach every user: the user hives
// loaded under HKEY_USERS and the profiles of the system's profile list whose hive is not loaded,
// which are mounted for the change and unmounted after.
#include <windows.h>

#include <string>
#include <vector>

struct machineProfile {
    std::wstring sid;
    // DOMAIN\name, or empty where the account cannot be looked up (a deleted account).
    std::wstring account;
    // The hive file of a profile that is not loaded; empty for one loaded under HKEY_USERS.
    std::wstring hiveFile;
};

// Whether a SID names a person's account (local, domain or directory accounts), not a service
// or a well-known account.
bool isPersonSid(const std::wstring& sid);

// Every person's profile on the machine, loaded ones first, each once. ERROR_SUCCESS or the
// error of reading HKEY_USERS (a profile list that cannot be read only hides unloaded profiles).
[[nodiscard]] DWORD listMachineProfiles(std::vector<machineProfile>& profiles);

// The hive new accounts are made from (the default user's NTUSER.DAT); empty when unknown.
std::wstring defaultUserTemplateHive();

// DOMAIN\name of a SID string, or empty.
std::wstring accountNameOfSid(const std::wstring& sid);

// Enables the backup and restore privileges in the process token, which mounting (and saving)
// a hive needs. ERROR_PRIVILEGE_NOT_HELD for an account that does not hold them.
[[nodiscard]] DWORD enableHivePrivileges();

// A hive file mounted under HKEY_USERS\<name> while the object lives; the keys opened below it
// must be closed before it goes. Mounting enables the privileges it needs.
class mountedHive {
public:
    mountedHive() = default;
    ~mountedHive();
    mountedHive(const mountedHive&) = delete;
    mountedHive& operator=(const mountedHive&) = delete;

    // ERROR_SUCCESS, or why the hive could not be mounted (in use, damaged, no privilege).
    [[nodiscard]] DWORD mount(const std::wstring& file, const std::wstring& name);
    const std::wstring& name() const { return m_name; }

private:
    std::wstring m_name;
};
