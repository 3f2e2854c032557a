#include "settings/registryKeyChain.h"

#include "tests/testing/scratchRegistry.h"

#include <string>

namespace {

class registryKeyChainTest : public scratchRegistry {};

} // namespace

TEST_F(registryKeyChainTest, opensEachComponentOrFailsHoldingNothing) {
    writeRawValue(HKEY_CURRENT_USER, L"Software\\Old\\Key", L"v", REG_DWORD, "\1\0\0\0", 4);
    const std::wstring longName(registryKeyChain::maxNameLength + 1, L'n');
    std::wstring tooDeep;
    for (std::size_t i = 0; i < registryKeyChain::maxDepth; ++i)
        tooDeep += L"d\\";
    struct row {
        const char* name;
        std::wstring path;
        keyChainMode mode;
        LSTATUS status;
        std::size_t size;
        const wchar_t* created; // a key that exists afterwards, or null
        const wchar_t* absent;  // a key that must not exist afterwards, or null
    };
    const row rows[] = {
        {"existing, open only", L"Software\\Old\\Key", keyChainMode::openExisting, ERROR_SUCCESS, 3,
         nullptr, nullptr},
        {"missing, open only", L"Software\\New\\Key", keyChainMode::openExisting,
         ERROR_FILE_NOT_FOUND, 0, nullptr, L"Software\\New"},
        {"missing, created", L"Software\\New\\Key", keyChainMode::openOrCreate, ERROR_SUCCESS, 3,
         L"Software\\New\\Key", nullptr},
        {"empty path: the root again", L"", keyChainMode::openExisting, ERROR_SUCCESS, 1, nullptr,
         nullptr},
        {"doubled separator", L"Software\\\\Old", keyChainMode::openOrCreate, ERROR_SUCCESS, 3,
         nullptr, nullptr},
        {"name too long", L"Software\\" + longName, keyChainMode::openOrCreate,
         ERROR_INVALID_PARAMETER, 0, nullptr, nullptr},
        {"too deep", L"Software\\Deep\\" + tooDeep, keyChainMode::openOrCreate,
         ERROR_INVALID_PARAMETER, 0, nullptr, L"Software\\Deep"},
        {"zero inside", std::wstring(L"Software\\Zero\0x", 15), keyChainMode::openOrCreate,
         ERROR_INVALID_PARAMETER, 0, nullptr, L"Software\\Zero"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        registryKeyChain chain;
        ASSERT_EQ(ERROR_SUCCESS,
                  chain.open(HKEY_CURRENT_USER, L"Software", KEY_READ, keyChainMode::openExisting));
        EXPECT_EQ(r.status, chain.open(HKEY_CURRENT_USER, r.path, KEY_READ | KEY_WRITE, r.mode));
        EXPECT_EQ(r.size, chain.size()) << "what was held before goes in any case";
        EXPECT_EQ(r.size != 0, chain.last() != nullptr);
        EXPECT_TRUE(r.created == nullptr || keyExists(HKEY_CURRENT_USER, r.created));
        EXPECT_TRUE(r.absent == nullptr || !keyExists(HKEY_CURRENT_USER, r.absent));
    }
    registryKeyChain chain;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              chain.open(nullptr, L"Software", KEY_READ, keyChainMode::openExisting));
}

TEST_F(registryKeyChainTest, theLastKeyHasTheAccessAskedForAndMovesWithTheChain) {
    registryKeyChain reader;
    ASSERT_EQ(ERROR_SUCCESS, reader.open(HKEY_CURRENT_USER, L"Software\\Chain", KEY_READ,
                                         keyChainMode::openOrCreate));
    const DWORD one = 1;
    EXPECT_EQ(ERROR_ACCESS_DENIED, ::RegSetValueExW(reader.last(), L"v", 0, REG_DWORD,
                                                    reinterpret_cast<const BYTE*>(&one), 4));

    registryKeyChain writer;
    ASSERT_EQ(ERROR_SUCCESS, writer.open(HKEY_CURRENT_USER, L"Software\\Chain",
                                         KEY_READ | KEY_WRITE, keyChainMode::openExisting));
    registryKeyChain moved(std::move(writer));
    // What a moved-from chain holds is the point here.
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
    EXPECT_FALSE(writer.isOpen());
    const HKEY readerKey = reader.last();
    reader = std::move(moved); // the reader's own keys are closed
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              ::RegQueryInfoKeyW(readerKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(reader.last(), L"v", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&one), 4));
    EXPECT_EQ(1u, readRawValue(HKEY_CURRENT_USER, L"Software\\Chain", L"v").dword());
}

TEST_F(registryKeyChainTest, aFailureHalfwayClosesWhatWasOpened) {
    makeRootRefuseCreation(HKEY_LOCAL_MACHINE);
    registryKeyChain chain;
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE,
              chain.open(HKEY_LOCAL_MACHINE, L"\\New", KEY_READ, keyChainMode::openOrCreate));
    EXPECT_FALSE(chain.isOpen());
}
