#include "platform/fileReplacement.h"

#include "tests/testing/tempFolder.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string contents(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

DWORD replaceWith(const std::wstring& target, const std::string& data, const wchar_t* backup) {
    return replaceFileInOneStep(target.c_str(), data.data(), static_cast<DWORD>(data.size()),
                                backup, systemFileReplaceCalls());
}

} // namespace

TEST(fileReplacement, theNewFileKeepsWhatTheOldOneCarriedAndReadOnlyIsRefused) {
    const struct {
        const char* what;
        DWORD targetAttributes, backupAttributes;
        DWORD result;
        DWORD keptAttributes;
    } rows[] = {
        {"hidden", FILE_ATTRIBUTE_HIDDEN, 0, ERROR_SUCCESS, FILE_ATTRIBUTE_HIDDEN},
        {"system and archive", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, 0, ERROR_SUCCESS,
         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        {"read-only", FILE_ATTRIBUTE_READONLY, 0, ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_READONLY},
        {"older backup hidden and read-only", FILE_ATTRIBUTE_NORMAL,
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, ERROR_SUCCESS, 0},
    };
    for (const auto& r : rows) {
        tempFolder folder;
        const std::wstring target = folder.makeFile(L"settings.bin", "old");
        const std::wstring backup = folder.makeFile(L"settings.bin.bak", "older");
        ASSERT_TRUE(::SetFileAttributesW(target.c_str(), r.targetAttributes));
        if (r.backupAttributes != 0) {
            ASSERT_TRUE(::SetFileAttributesW(backup.c_str(), r.backupAttributes));
        }
        EXPECT_EQ(r.result, replaceWith(target, "new", backup.c_str())) << r.what;
        const bool replaced = r.result == ERROR_SUCCESS;
        EXPECT_EQ(replaced ? "new" : "old", contents(target)) << r.what;
        EXPECT_EQ(replaced ? "old" : "older", contents(backup)) << r.what;
        EXPECT_EQ(r.keptAttributes, ::GetFileAttributesW(target.c_str()) & r.keptAttributes)
            << r.what;
        for (const std::wstring& file : {target, backup})
            ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(fileReplacement, theNewFileKeepsAnExplicitAccessList) {
    tempFolder folder;
    const std::wstring target = folder.makeFile(L"private.bin", "old");
    // Only the owner: what a user sets on a file others must not read.
    EXPLICIT_ACCESSW owner{};
    ::BuildExplicitAccessWithNameW(&owner, const_cast<wchar_t*>(L"CURRENT_USER"), GENERIC_ALL,
                                   SET_ACCESS, NO_INHERITANCE);
    ACL* acl = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ::SetEntriesInAclW(1, &owner, nullptr, &acl));
    const DWORD applied =
        ::SetNamedSecurityInfoW(const_cast<wchar_t*>(target.c_str()), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, acl, nullptr);
    ::LocalFree(acl);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), applied);
    const auto aceCount = [](const std::wstring& path) {
        ACL* dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor);
        const int count = dacl != nullptr ? dacl->AceCount : -1;
        ::LocalFree(descriptor);
        return count;
    };
    if (aceCount(target) != 1)
        GTEST_SKIP() << "this file system does not keep the access list it is given (Wine)";
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), replaceWith(target, "new", nullptr));
    EXPECT_EQ("new", contents(target));
    EXPECT_EQ(1, aceCount(target)) << "the folder's inherited entries would widen it";
}
