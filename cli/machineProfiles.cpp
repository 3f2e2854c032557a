#include "cli/machineProfiles.h"

#include "support/uniqueResource.h"

#include <sddl.h>

#include <algorithm>

namespace {

const wchar_t* const profileListKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Registry key names are at most 255 characters.
constexpr DWORD keyNameCapacity = 256;

std::vector<std::wstring> subkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[keyNameCapacity];
        DWORD length = keyNameCapacity;
        const LSTATUS status =
            ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS)
            names.emplace_back(name, length);
    }
    return names;
}

// A REG_SZ or REG_EXPAND_SZ value with its environment variables expanded; empty when missing.
std::wstring expandedValue(HKEY key, const wchar_t* subkey, const wchar_t* name) {
    DWORD bytes = 0;
    if (::RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes == 0)
        return {};
    // RegGetValueW expands REG_EXPAND_SZ itself (RRF_RT_REG_SZ takes both; asking for
    // RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND is refused) and always terminates.
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
        ERROR_SUCCESS)
        return {};
    text.resize(std::wcslen(text.c_str()));
    return text;
}

bool enablePrivilege(HANDLE token, const wchar_t* name) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        return false;
    // Succeeds also when the privilege is not held; that is what the last error says.
    return ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

} // namespace

bool isPersonSid(const std::wstring& sid) {
    // Local and domain accounts, and accounts of a cloud directory.
    return sid.starts_with(L"S-1-5-21-") || sid.starts_with(L"S-1-12-1-");
}

std::wstring accountNameOfSid(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(sid.c_str(), &binary))
        return {};
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    const BOOL found =
        ::LookupAccountSidW(nullptr, binary, name, &nameLength, domain, &domainLength, &use);
    ::LocalFree(binary);
    if (!found)
        return {};
    return domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

DWORD listMachineProfiles(std::vector<machineProfile>& profiles) {
    profiles.clear();
    for (const std::wstring& name : subkeyNames(HKEY_USERS))
        if (isPersonSid(name) && !name.ends_with(L"_Classes"))
            profiles.push_back({name, accountNameOfSid(name), {}});
    uniqueHkey list;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, profileListKey, 0, KEY_READ, list.put()) !=
        ERROR_SUCCESS)
        return ERROR_SUCCESS;
    const std::size_t loaded = profiles.size();
    for (const std::wstring& sid : subkeyNames(list.get())) {
        if (!isPersonSid(sid) ||
            std::any_of(profiles.begin(), profiles.begin() + static_cast<std::ptrdiff_t>(loaded),
                        [&](const machineProfile& profile) { return profile.sid == sid; }))
            continue;
        const std::wstring folder = expandedValue(list.get(), sid.c_str(), L"ProfileImagePath");
        if (!folder.empty())
            profiles.push_back({sid, accountNameOfSid(sid), folder + L"\\NTUSER.DAT"});
    }
    return ERROR_SUCCESS;
}

std::wstring defaultUserTemplateHive() {
    const std::wstring folder = expandedValue(HKEY_LOCAL_MACHINE, profileListKey, L"Default");
    return folder.empty() ? folder : folder + L"\\NTUSER.DAT";
}

DWORD enableHivePrivileges() {
    uniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put()))
        return ::GetLastError();
    if (!enablePrivilege(token.get(), SE_BACKUP_NAME) ||
        !enablePrivilege(token.get(), SE_RESTORE_NAME))
        return ERROR_PRIVILEGE_NOT_HELD;
    return ERROR_SUCCESS;
}

mountedHive::~mountedHive() {
    if (!m_name.empty())
        ::RegUnLoadKeyW(HKEY_USERS, m_name.c_str());
}

DWORD mountedHive::mount(const std::wstring& file, const std::wstring& name) {
    if (!m_name.empty() || file.empty() || name.empty())
        return ERROR_INVALID_PARAMETER;
    if (const DWORD error = enableHivePrivileges(); error != ERROR_SUCCESS)
        return error;
    const LSTATUS status = ::RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    m_name = name;
    return ERROR_SUCCESS;
}
