#include "app/DmDebugRegistryDlg.h"
#include "app/productRegistryKeys.h"

#include "tests/testing/scratchRegistry.h"

#include <string>

namespace {

const wchar_t* const productPath = L"Software\\Tarnwick\\Driftmarkx64";

class productKeys : public scratchRegistry {
protected:
    static LSTATUS tryWrite(HKEY key) {
        const DWORD value = 1;
        return ::RegSetValueExW(key, L"probe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof(value));
    }
    static void expectAllNull(const CDmDebugRegistryDlg& dialog) {
        EXPECT_EQ(nullptr, dialog.m_hDefaultUserKey);
        EXPECT_EQ(nullptr, dialog.m_hSoftwareKey);
        EXPECT_EQ(nullptr, dialog.m_hCompanyKey);
        EXPECT_EQ(nullptr, dialog.m_hProductKey);
    }
};

} // namespace

TEST_F(productKeys, currentUserChainOpensForWritingOnlyWhenAskedWithOne) {
    struct {
        int useLocalMachine;
        int forWriting;
        HKEY root;
        LSTATUS writeResult;
    } const cases[] = {
        {0, 1, HKEY_CURRENT_USER, ERROR_SUCCESS},
        {0, 0, HKEY_CURRENT_USER, ERROR_ACCESS_DENIED},
        {0, 2, HKEY_CURRENT_USER, ERROR_ACCESS_DENIED},
        {1, 1, HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {5, 1, HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        CDmDebugRegistryDlg dialog;
        ASSERT_NE(0, dialog.openProductKey(c.useLocalMachine, c.forWriting));
        EXPECT_EQ(nullptr, dialog.m_hDefaultUserKey);
        EXPECT_NE(nullptr, dialog.m_hSoftwareKey);
        EXPECT_NE(nullptr, dialog.m_hCompanyKey);
        ASSERT_NE(nullptr, dialog.m_hProductKey);
        EXPECT_EQ(c.writeResult, tryWrite(dialog.m_hProductKey)) << c.forWriting;
        dialog.closeProductKey();
        expectAllNull(dialog);
        EXPECT_TRUE(keyExists(c.root, productPath));
    }
    // The local machine chain never lands under the current user, and the other way round.
    EXPECT_EQ(ERROR_SUCCESS, readRawValue(HKEY_LOCAL_MACHINE, productPath, L"probe").status);
    EXPECT_EQ(ERROR_SUCCESS, readRawValue(HKEY_CURRENT_USER, productPath, L"probe").status);
    EXPECT_FALSE(keyExists(HKEY_USERS, L".DEFAULT"));
}

TEST_F(productKeys, defaultUserChainOpensFourKeysForWriting) {
    CDmDebugRegistryDlg dialog;
    ASSERT_NE(0, dialog.openDefaultUserProductKey());
    EXPECT_NE(nullptr, dialog.m_hDefaultUserKey);
    EXPECT_NE(nullptr, dialog.m_hSoftwareKey);
    EXPECT_NE(nullptr, dialog.m_hCompanyKey);
    ASSERT_NE(nullptr, dialog.m_hProductKey);
    EXPECT_EQ(ERROR_SUCCESS, tryWrite(dialog.m_hProductKey));
    dialog.closeProductKey();
    expectAllNull(dialog);
    EXPECT_EQ(
        ERROR_SUCCESS,
        readRawValue(HKEY_USERS, L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64", L"probe").status);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, productPath));
}

TEST_F(productKeys, failedOpenLeavesNoHandleBehind) {
    makeRootRefuseCreation(HKEY_CURRENT_USER);
    makeRootRefuseCreation(HKEY_USERS);
    CDmDebugRegistryDlg dialog;
    EXPECT_EQ(0, dialog.openProductKey(0, 1));
    expectAllNull(dialog);
    EXPECT_EQ(0, dialog.openDefaultUserProductKey());
    expectAllNull(dialog);
}

TEST_F(productKeys, failurePartWayReleasesTheKeysOpenedBefore) {
    // "Software" exists as a volatile key: it opens, but nothing durable can be created below.
    uniqueHkey software;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software", 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, software.put(), nullptr));
    CDmDebugRegistryDlg dialog;
    EXPECT_EQ(0, dialog.openProductKey(0, 1));
    expectAllNull(dialog);
}

TEST_F(productKeys, closeClearsEveryMemberAndToleratesAnEmptyChain) {
    CDmDebugRegistryDlg dialog;
    dialog.closeProductKey();
    expectAllNull(dialog);
    ASSERT_NE(0, dialog.openDefaultUserProductKey());
    ASSERT_NE(0, dialog.openProductKey(0, 0)) << "reopening replaces the open chain";
    EXPECT_EQ(nullptr, dialog.m_hDefaultUserKey);
    dialog.closeProductKey();
    expectAllNull(dialog);
}

TEST_F(productKeys, stringAtPathIsStoredWithItsTerminator) {
    ASSERT_NE(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\A\\B", L"name",
                                           L"C:\\logs\\run.log"));
    rawRegistryValue stored = readRawValue(HKEY_CURRENT_USER, L"Software\\A\\B", L"name");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(sizeof(L"C:\\logs\\run.log"), stored.bytes.size());
    EXPECT_EQ(L"C:\\logs\\run.log", stored.text());

    ASSERT_NE(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\A", nullptr, nullptr));
    stored = readRawValue(HKEY_CURRENT_USER, L"Software\\A", nullptr);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(2u, stored.bytes.size()) << "a null text stores the empty string";

    // Empty components reopen the key reached so far.
    ASSERT_NE(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, L"\\Software\\\\C\\", L"v", L"x"));
    EXPECT_EQ(L"x", readRawValue(HKEY_CURRENT_USER, L"Software\\C", L"v").text());
}

TEST_F(productKeys, pathsTheWalkCannotHoldAreRejectedBeforeTouchingTheRegistry) {
    std::wstring deep = L"Deep";
    for (int i = 1; i < 21; ++i)
        deep += L"\\k";
    const std::wstring longName = L"Long\\" + std::wstring(260, L'n');
    wchar_t buffer[16] = L"sentinel";

    for (const std::wstring& path : {deep, longName}) {
        EXPECT_EQ(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, path.c_str(), L"v", L"x"));
        EXPECT_EQ(0, readRegistryStringAtPath(HKEY_CURRENT_USER, path.c_str(), L"v", buffer, 16));
    }
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Deep"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Long"));
    EXPECT_EQ(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, nullptr, L"v", L"x"));
    EXPECT_EQ(0, readRegistryStringAtPath(HKEY_CURRENT_USER, nullptr, L"v", buffer, 16));
    EXPECT_STREQ(L"sentinel", buffer) << "a failed read keeps the caller's buffer";

    // Twenty components are still accepted.
    deep.resize(deep.size() - 2);
    EXPECT_NE(0, writeRegistryStringAtPath(HKEY_CURRENT_USER, deep.c_str(), L"v", L"x"));
}

TEST_F(productKeys, readAtPathReturnsWholeStringsAndNeverOverrunsTheBuffer) {
    const std::wstring text(600, L'r');
    ASSERT_NE(0,
              writeRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"long", text.c_str()));
    std::wstring buffer(1000, L'#');
    ASSERT_NE(0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"long", buffer.data(),
                                          1000));
    EXPECT_EQ(text, buffer.substr(0, buffer.find(L'\0')));

    // 600 characters and a terminator need 601; one less must fail without writing past it.
    std::wstring tight(602, L'#');
    EXPECT_EQ(
        0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"long", tight.data(), 600));
    EXPECT_EQ(L'\0', tight[0]);
    EXPECT_EQ(L'#', tight[600]);
    EXPECT_NE(
        0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"long", tight.data(), 601));
    EXPECT_EQ(text, tight.substr(0, tight.find(L'\0')));

    const char odd[] = {'o', 0, 'k', 0, '?'};
    writeRawValue(HKEY_CURRENT_USER, L"Software\\R", L"odd", REG_BINARY, odd, sizeof(odd));
    wchar_t small[8] = L"";
    EXPECT_NE(0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"odd", small, 8));
    EXPECT_STREQ(L"ok", small);

    wcscpy(small, L"kept");
    EXPECT_EQ(0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"missing", small, 8));
    EXPECT_STREQ(L"kept", small);
    EXPECT_EQ(0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"odd", nullptr, 8));
    EXPECT_EQ(0, readRegistryStringAtPath(HKEY_CURRENT_USER, L"Software\\R", L"odd", small, 0));
}
