#include "diagnostics/logFileSecurity.h"

#include "support/uniqueResource.h"

namespace {

struct sidBuffer {
    alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE];
    PSID sid() { return bytes; }
};

bool makeWellKnownSid(WELL_KNOWN_SID_TYPE type, sidBuffer& out) {
    DWORD size = sizeof(out.bytes);
    return ::CreateWellKnownSid(type, nullptr, out.sid(), &size) != FALSE;
}

bool copyProcessUserSid(sidBuffer& out) {
    uniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size))
        return false;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer);
    return ::CopySid(sizeof(out.bytes), out.sid(), user->User.Sid) != FALSE;
}

struct aceEntry {
    sidBuffer* sid;
    DWORD access;
};

} // namespace

uniqueSecurityDescriptor createLogFileSecurityDescriptor() {
    sidBuffer everyone, system, administrators, user;
    if (!makeWellKnownSid(WinWorldSid, everyone) || !makeWellKnownSid(WinLocalSystemSid, system) ||
        !makeWellKnownSid(WinBuiltinAdministratorsSid, administrators) || !copyProcessUserSid(user))
        return nullptr;
    const aceEntry entries[] = {{&everyone, logFileEveryoneAccess},
                                {&system, FILE_ALL_ACCESS},
                                {&administrators, FILE_ALL_ACCESS},
                                {&user, FILE_ALL_ACCESS}};

    DWORD aclSize = sizeof(ACL);
    for (const aceEntry& entry : entries)
        aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(entry.sid->sid());

    // Descriptor and its DACL in one block, released with one LocalFree.
    uniqueSecurityDescriptor block(::LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH + aclSize));
    if (!block)
        return nullptr;
    auto* acl =
        reinterpret_cast<ACL*>(static_cast<BYTE*>(block.get()) + SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION))
        return nullptr;
    for (const aceEntry& entry : entries)
        if (!::AddAccessAllowedAce(acl, ACL_REVISION, entry.access, entry.sid->sid()))
            return nullptr;
    if (!::InitializeSecurityDescriptor(block.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(block.get(), TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(block.get(), SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return nullptr;
    return block;
}
