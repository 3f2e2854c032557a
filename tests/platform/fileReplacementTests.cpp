#include "platform/fileReplacement.h"

#include "tests/testing/tempFolder.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

DWORD replaceWith(const std::wstring& target, const std::string& data, const wchar_t* backup,
                  const fileReplaceCalls& calls = systemFileReplaceCalls()) {
    return replaceFileInOneStep(target.c_str(), data.data(), static_cast<DWORD>(data.size()),
                                backup, calls);
}

bool anyTemporaryIn(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return true;
}

// What the seam saw and how it answers: creates asking for security access, and renames that
// fail before (or after) doing their work.
struct seamScript {
    bool refuseSecurityAccess = false;
    int busyRenames = 0;
    bool renameReportsFailureAfterMoving = false;
    std::vector<DWORD> createAccess;
    int renames = 0;
} g_seam;

HANDLE WINAPI scriptedCreate(const wchar_t* name, DWORD access, DWORD share,
                             SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD attributes,
                             HANDLE templateFile) {
    g_seam.createAccess.push_back(access);
    if (g_seam.refuseSecurityAccess && (access & WRITE_DAC) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(name, access, share, security, disposition, attributes, templateFile);
}

BOOL WINAPI scriptedRename(const wchar_t* from, const wchar_t* to, DWORD flags) {
    if (++g_seam.renames <= g_seam.busyRenames) {
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    const BOOL moved = ::MoveFileExW(from, to, flags);
    if (moved && g_seam.renameReportsFailureAfterMoving) {
        ::SetLastError(ERROR_UNEXP_NET_ERR);
        return FALSE;
    }
    return moved;
}

fileReplaceCalls scriptedCalls(const seamScript& script) {
    g_seam = script;
    fileReplaceCalls calls = systemFileReplaceCalls();
    calls.create = scriptedCreate;
    calls.replace = scriptedRename;
    return calls;
}

// Gives a file an access list of its own: only the current user, not inherited.
DWORD protectFile(const std::wstring& path) {
    EXPLICIT_ACCESSW owner{};
    ::BuildExplicitAccessWithNameW(&owner, const_cast<wchar_t*>(L"CURRENT_USER"), GENERIC_ALL,
                                   SET_ACCESS, NO_INHERITANCE);
    ACL* acl = nullptr;
    if (const DWORD error = ::SetEntriesInAclW(1, &owner, nullptr, &acl); error != ERROR_SUCCESS)
        return error;
    const DWORD applied =
        ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, acl, nullptr);
    ::LocalFree(acl);
    return applied;
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
        EXPECT_EQ(replaced ? "new" : "old", readFileBytes(target)) << r.what;
        EXPECT_EQ(replaced ? "old" : "older", readFileBytes(backup)) << r.what;
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
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), protectFile(target));
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
    EXPECT_EQ("new", readFileBytes(target));
    EXPECT_EQ(1, aceCount(target)) << "the folder's inherited entries would widen it";
}

// A share where the user may change files but not their security refuses an open that asks for
// it; the save goes on without, whole.
TEST(fileReplacement, aRefusedSecurityAccessStillSavesTheWholeFile) {
    tempFolder folder;
    const std::wstring target = folder.makeFile(L"shared.bin", "old");
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), protectFile(target));
    seamScript script;
    script.refuseSecurityAccess = true;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              replaceWith(target, "new", nullptr, scriptedCalls(script)));
    EXPECT_EQ("new", readFileBytes(target));
    ASSERT_EQ(2u, g_seam.createAccess.size());
    EXPECT_NE(0u, g_seam.createAccess[0] & WRITE_DAC) << "the file's own list is worth keeping";
    EXPECT_EQ(0u, g_seam.createAccess[1] & WRITE_DAC);
    EXPECT_FALSE(anyTemporaryIn(folder.path()));
}

TEST(fileReplacement, renamesThatFailAreRetriedForAboutASecondAndNeverCostTheNewFile) {
    const struct {
        const char* what;
        int busyRenames;
        bool reportsFailureAfterMoving;
        DWORD result;
        const char* kept;
    } rows[] = {
        {"held by a scanner for 40 tries", 40, false, ERROR_SUCCESS, "new"},
        {"moved, but reported as failed", 0, true, ERROR_SUCCESS, "new"},
        {"held for good", 1000, false, ERROR_SHARING_VIOLATION, "old"},
    };
    for (const auto& r : rows) {
        tempFolder folder;
        const std::wstring target = folder.makeFile(L"settings.bin", "old");
        seamScript script;
        script.busyRenames = r.busyRenames;
        script.renameReportsFailureAfterMoving = r.reportsFailureAfterMoving;
        EXPECT_EQ(r.result, replaceWith(target, "new", nullptr, scriptedCalls(script))) << r.what;
        EXPECT_EQ(r.kept, readFileBytes(target)) << r.what;
        EXPECT_FALSE(anyTemporaryIn(folder.path())) << r.what;
    }
}

TEST(fileReplacement, theStreamingFormChecksBeforeItReplacesAndKeepsWhatItMust) {
    tempFolder folder;
    const std::wstring other = folder.makeFile(L"other.log", "log");
    fileIdentity otherIdentity;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), queryFileIdentity(other.c_str(), otherIdentity));
    const struct {
        const char* what;
        bool targetExists;
        bool replaceExisting;
        bool keepTarget;
        DWORD checkResult;
        DWORD result;
    } rows[] = {
        {"a replace that passes its check", true, true, false, ERROR_SUCCESS, ERROR_SUCCESS},
        {"a failed check", true, true, false, ERROR_CRC, ERROR_CRC},
        {"nothing to replace, none allowed", false, false, false, ERROR_SUCCESS, ERROR_SUCCESS},
        {"something to replace, none allowed", true, false, false, ERROR_SUCCESS,
         ERROR_ALREADY_EXISTS},
        {"the target is a file to keep", true, true, true, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
    };
    for (const auto& r : rows) {
        const std::wstring target = folder / L"archive.cab";
        ::DeleteFileW(target.c_str());
        if (r.targetExists)
            folder.makeFile(L"archive.cab", "old");
        std::string readBack;
        fileReplaceSteps steps;
        steps.write = [](HANDLE file) {
            DWORD written = 0;
            return ::WriteFile(file, "new", 3, &written, nullptr) ? ERROR_SUCCESS
                                                                  : ::GetLastError();
        };
        steps.check = [&](HANDLE file) {
            char bytes[8] = {};
            DWORD read = 0;
            ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            ::ReadFile(file, bytes, sizeof(bytes), &read, nullptr);
            readBack.assign(bytes, read);
            return r.checkResult;
        };
        fileReplaceOptions options;
        options.replaceExisting = r.replaceExisting;
        fileIdentity targetIdentity;
        if (r.keepTarget) {
            ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                      queryFileIdentity(target.c_str(), targetIdentity));
            options.keep = {otherIdentity, targetIdentity};
        } else {
            options.keep = {otherIdentity};
        }
        EXPECT_EQ(r.result,
                  replaceFileStreamed(target.c_str(), steps, options, systemFileReplaceCalls()))
            << r.what;
        const bool replaced = r.result == ERROR_SUCCESS;
        EXPECT_EQ(replaced ? "new" : "old", readFileBytes(target)) << r.what;
        EXPECT_FALSE(anyTemporaryIn(folder.path())) << r.what;
        if (r.result != ERROR_ALREADY_EXISTS) {
            EXPECT_EQ("new", readBack) << r.what;
        }
    }
    EXPECT_EQ("log", readFileBytes(other));
}

TEST(fileIdentity, namesOfOneFileAreOneAndOtherFilesAreNot) {
    tempFolder folder;
    const std::wstring file = folder.makeFile(L"Server.log", "a");
    const std::wstring twin = folder.makeFile(L"twin.log", "a");
    const std::wstring link = folder / L"link.log";
    ASSERT_TRUE(::CreateHardLinkW(link.c_str(), file.c_str(), nullptr));
    const struct {
        std::wstring left, right;
        bool same;
    } rows[] = {
        {file, folder / L"SERVER.LOG", true},
        {file, folder / L"sub\\..\\Server.log", true},
        {file, link, true},
        {file, twin, false},
        {folder.path(), folder.path() + L"\\.", true},
        {folder.path(), file, false},
    };
    for (const auto& r : rows) {
        fileIdentity left, right;
        folder.makeFolder(L"sub");
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), queryFileIdentity(r.left.c_str(), left));
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), queryFileIdentity(r.right.c_str(), right));
        EXPECT_EQ(r.same, left == right);
    }
    fileIdentity untouched;
    untouched.volume = 7;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              queryFileIdentity((folder / L"missing.log").c_str(), untouched));
    EXPECT_EQ(7u, untouched.volume);
}
