#include "diagnosticsTesting.h"
#include "tests/testing/wineHost.h"

#include "diagnostics/logFileSecurity.h"
#include "support/uniqueResource.h"

#include <aclapi.h>

namespace {

class logFileSecurity : public logFileTest {};

struct expectedAce {
    const char* who;
    std::vector<BYTE> sid;
    DWORD access;
};

std::vector<BYTE> wellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

std::vector<BYTE> processUserSid() {
    uniqueKernelHandle token;
    EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    std::vector<BYTE> buffer(512);
    DWORD size = 0;
    EXPECT_TRUE(::GetTokenInformation(token.get(), TokenUser, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &size));
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    const auto* sid = static_cast<const BYTE*>(user->User.Sid);
    return std::vector<BYTE>(sid, sid + ::GetLengthSid(user->User.Sid));
}

void expectExactDacl(const ACL* dacl) {
    ASSERT_NE(nullptr, dacl);
    const std::vector<expectedAce> expected = {
        {"Everyone", wellKnownSid(WinWorldSid),
         FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE},
        {"SYSTEM", wellKnownSid(WinLocalSystemSid), FILE_ALL_ACCESS},
        {"Administrators", wellKnownSid(WinBuiltinAdministratorsSid), FILE_ALL_ACCESS},
        {"creating user", processUserSid(), FILE_ALL_ACCESS},
    };
    ASSERT_EQ(expected.size(), dacl->AceCount);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        SCOPED_TRACE(expected[i].who);
        void* raw = nullptr;
        ASSERT_TRUE(::GetAce(const_cast<ACL*>(dacl), i, &raw));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(0, ace->Header.AceFlags & INHERITED_ACE);
        EXPECT_EQ(expected[i].access, ace->Mask);
        const auto* sid = reinterpret_cast<const BYTE*>(&ace->SidStart);
        EXPECT_TRUE(::EqualSid(const_cast<BYTE*>(sid), const_cast<BYTE*>(expected[i].sid.data())));
    }
    // Other accounts may append, but not read, overwrite, truncate or delete, nor change
    // permissions or owner.
    void* raw = nullptr;
    ASSERT_TRUE(::GetAce(const_cast<ACL*>(dacl), 0, &raw));
    EXPECT_EQ(0u, static_cast<const ACCESS_ALLOWED_ACE*>(raw)->Mask &
                      (FILE_READ_DATA | FILE_WRITE_DATA | DELETE | WRITE_DAC | WRITE_OWNER));
}

} // namespace

TEST(logFileSecurityDescriptor, grantsEveryoneAppendingOnly) {
    const uniqueSecurityDescriptor descriptor = createLogFileSecurityDescriptor();
    ASSERT_TRUE(descriptor);
    EXPECT_TRUE(::IsValidSecurityDescriptor(descriptor.get()));

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    ACL* dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_NE(nullptr, dacl) << "never a null DACL";

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_NE(0, control & SE_DACL_PROTECTED) << "nothing inherited widens it";
    expectExactDacl(dacl);
}

TEST_F(logFileSecurity, aNewLogFileCarriesTheDescriptor) {
    if (runningUnderWine())
        GTEST_SKIP() << "Wine does not keep a file's security descriptor here: it reports one "
                        "made from the Unix permission bits";
    const std::wstring path = logPath();
    logFile::writeToLogFile(path.c_str(), 1);
    ACL* dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), status);
    std::unique_ptr<void, localMemoryDeleter> holder(descriptor);
    expectExactDacl(dacl);
}
