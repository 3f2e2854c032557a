#include "platform/knownFolders.h"
#include "platform/optionalModule.h"

#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstdlib>
#include <windows.h>

#include <string>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

// What the fake folder lookup answers; empty means "cannot be resolved".
std::wstring g_appData;
std::wstring g_profile;

const std::wstring& fakeFolder(int folder) {
    static const std::wstring none;
    return folder == CSIDL_APPDATA ? g_appData : folder == CSIDL_PROFILE ? g_profile : none;
}

HRESULT fakeLookup(HWND, int folder, HANDLE, DWORD, wchar_t* path) {
    path[0] = L'\0';
    const std::wstring& value = fakeFolder(folder);
    return value.empty() ? E_FAIL : ::StringCchCopyW(path, MAX_PATH, value.c_str());
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

HRESULT fakeLookupA(HWND, int folder, HANDLE, DWORD, char* path) {
    path[0] = '\0';
    const std::wstring& value = fakeFolder(folder);
    return value.empty() ? E_FAIL : ::StringCchCopyA(path, MAX_PATH, narrow(value).c_str());
}

std::wstring environment(const wchar_t* name) {
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? value : L"";
}

// Product paths land in a temporary folder that stands in for the application data folder.
class knownFolders : public ::testing::Test {
protected:
    void SetUp() override {
        g_appData = m_appData.makeFolder(L"AppData");
        g_profile = m_appData.makeFolder(L"Profile");
        setFolderPathLookup(&fakeLookup);
        setFolderPathLookupA(&fakeLookupA);
    }
    void TearDown() override {
        setFolderPathLookup(nullptr);
        setFolderPathLookupA(nullptr);
    }

    std::wstring maker() const { return g_appData + L"\\Tarnwick"; }

    tempFolder m_appData;
};

} // namespace

TEST_F(knownFolders, productFolderJoinsPrefixAndNameAndCreatesTheFolders) {
    struct example {
        const wchar_t* prefix;
        const wchar_t* name;
        const wchar_t* expected;
    };
    const example examples[] = {
        {L"", L"dmDataLog", L"\\dmDataLog"},
        {nullptr, L"dmDataLog", L"\\dmDataLog"},
        {L"Team", L"Driftmark x64", L"\\Team Driftmark x64"},
        {L"Team", nullptr, L"\\Team "},
        {nullptr, nullptr, L"\\"},
        {nullptr, L"", L"\\"},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(e.expected);
        const std::wstring expected = maker() + e.expected;
        EXPECT_EQ(expected, getProductFolder(e.prefix, e.name));
        EXPECT_TRUE(folderExists(maker()));
        EXPECT_TRUE(folderExists(expected));
    }
}

TEST_F(knownFolders, productFilePathCreatesTheFoldersButNotTheFile) {
    const std::wstring expected = maker() + L"\\Driftmark x64\\dmLogUI_x64.txt";
    EXPECT_EQ(expected, getProductFilePath(nullptr, L"Driftmark x64", L"dmLogUI_x64.txt"));
    EXPECT_TRUE(folderExists(maker() + L"\\Driftmark x64"));
    EXPECT_FALSE(fileExists(expected));
    EXPECT_FALSE(folderExists(expected));

    EXPECT_EQ(expected, getProductFilePath(L"Driftmark x64", L"dmLogUI_x64.txt"));
    EXPECT_EQ(maker() + L"\\Team x\\a.txt", getProductFilePath(L"Team", L"x", L"a.txt"));
    EXPECT_EQ(maker() + L"\\a.txt", getProductFilePath(nullptr, nullptr, L"a.txt"));
    EXPECT_EQ(maker() + L"\\Driftmark x64", getProductFilePath(nullptr, L"Driftmark x64", nullptr));
}

TEST_F(knownFolders, unresolvedApplicationDataFolderGivesEmptyPathsAndCreatesNothing) {
    g_appData.clear();
    EXPECT_STREQ(L"", getProductFolder(L"Team", L"dmDataLog"));
    EXPECT_STREQ(L"", getProductFilePath(nullptr, L"dmDataLog", L"a.txt"));
    EXPECT_STREQ("", getProductFolderA("Team", "dmDataLog"));
    EXPECT_STREQ("", getProductFilePathA("dmDataLog", "a.txt"));
    EXPECT_STREQ(L"", getCachedProductFilePath2(nullptr, L"dmDataLog", L"a.txt"));
    EXPECT_FALSE(folderExists(m_appData / L"AppData\\Tarnwick"));
}

TEST_F(knownFolders, cachedPathIsRetriedUntilResolvedThenNeverChanges) {
    const std::wstring resolvedAppData = g_appData;
    g_appData.clear();
    EXPECT_STREQ(L"", getCachedProductFilePath1(nullptr, L"first", L"a.txt"));

    g_appData = resolvedAppData;
    const wchar_t* cached = getCachedProductFilePath1(nullptr, L"second", L"b.txt");
    const std::wstring expected = maker() + L"\\second\\b.txt";
    EXPECT_EQ(expected, cached);
    EXPECT_FALSE(folderExists(maker() + L"\\first"));

    // Later calls return the same buffer untouched and create no folders.
    removeTestTree(maker());
    EXPECT_EQ(cached, getCachedProductFilePath1(L"Team", L"third", L"c.txt"));
    EXPECT_EQ(expected, cached);
    EXPECT_FALSE(folderExists(maker()));

    // The other cached functions keep buffers of their own.
    EXPECT_EQ(maker() + L"\\four\\d.txt", getCachedProductFilePath4(nullptr, L"four", L"d.txt"));
    EXPECT_EQ(maker() + L"\\three\\d.txt", getCachedProductFilePath3(nullptr, L"three", L"d.txt"));
    EXPECT_EQ(expected, getCachedProductFilePath1(nullptr, L"four", L"d.txt"));
}

TEST_F(knownFolders, defaultLogFilePathNamesTarnwickLogAndStaysFixed) {
    const wchar_t* first = getDefaultLogFilePath(nullptr, L"Driftmark x64", nullptr);
    const std::wstring expected = maker() + L"\\Driftmark x64\\Tarnwick.log";
    EXPECT_EQ(expected, first);
    EXPECT_TRUE(folderExists(maker() + L"\\Driftmark x64"));
    EXPECT_EQ(expected, getDefaultLogFilePath(L"Team", L"other", L"other.log"));
    EXPECT_FALSE(folderExists(maker() + L"\\Team other"));
}

TEST_F(knownFolders, pathsThatDoNotFitComeBackEmptyInsteadOfCut) {
    // (application data)\Tarnwick\ + name + terminator must fit 261 characters.
    const std::size_t room = knownFolderPathCapacity - 1 - (maker().size() + 1);
    const std::wstring fits(room, L'n');
    EXPECT_EQ(maker() + L"\\" + fits, getProductFolder(nullptr, fits.c_str()));
    EXPECT_STREQ(L"", getProductFolder(nullptr, (fits + L"n").c_str()));
    EXPECT_STREQ(L"", getProductFolder(L"Team", std::wstring(300, L'n').c_str()));
    EXPECT_STREQ(L"", getProductFolder(std::wstring(300, L'p').c_str(), L"dmDataLog"));

    const std::wstring shortName(room - 12, L's');
    const std::wstring fileFits(11, L'f');
    EXPECT_EQ(maker() + L"\\" + shortName + L"\\" + fileFits,
              getProductFilePath(shortName.c_str(), fileFits.c_str()));
    EXPECT_STREQ(L"", getProductFilePath(shortName.c_str(), (fileFits + L"f").c_str()));
    EXPECT_STREQ(L"", getProductFilePath(L"dmDataLog", std::wstring(300, L'f').c_str()));
    EXPECT_STREQ(L"",
                 getCachedProductFilePath2(nullptr, L"dmDataLog", std::wstring(300, L'f').c_str()));
}

TEST_F(knownFolders, ansiTwinsBuildTheSamePaths) {
    const std::string makerA = narrow(maker());
    EXPECT_EQ(makerA + "\\Team dmDataLog", getProductFolderA("Team", "dmDataLog"));
    EXPECT_TRUE(folderExists(maker() + L"\\Team dmDataLog"));
    EXPECT_EQ(makerA + "\\Driftmark x64\\dmLogUI_x64.txt",
              getProductFilePathA(nullptr, "Driftmark x64", "dmLogUI_x64.txt"));
    EXPECT_EQ(makerA + "\\Driftmark x64\\dmLogUI_x64.txt",
              getProductFilePathA("Driftmark x64", "dmLogUI_x64.txt"));
    EXPECT_TRUE(folderExists(maker() + L"\\Driftmark x64"));
    EXPECT_STREQ("", getProductFolderA(nullptr, std::string(300, 'n').c_str()));
}

TEST(ensureTrailingBackslash, appendsOneBackslashWithinTheCapacity) {
    struct example {
        const wchar_t* text;
        std::size_t capacity;
        const wchar_t* expected;
    };
    const example examples[] = {
        {L"D:\\data", 16, L"D:\\data\\"},
        {L"D:\\data\\", 16, L"D:\\data\\"},
        {L"a", 3, L"a\\"},
        {L"ab", 3, L"ab"},   // full: the terminator takes the last place
        {L"", 16, L""},      // empty stays empty
        {L"abc", 2, L"abc"}, // no terminator within the capacity: not touched
        {L"\\\\", 16, L"\\\\"},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(narrow(e.text));
        wchar_t buffer[20];
        for (wchar_t& c : buffer)
            c = L'#';
        ::StringCchCopyW(buffer, 20, e.text);
        ensureTrailingBackslash(buffer, e.capacity);
        EXPECT_STREQ(e.expected, buffer);
        EXPECT_EQ(L'#', buffer[std::wcslen(e.text) + 2]) << "wrote past the text";

        char narrowBuffer[20];
        ::StringCchCopyA(narrowBuffer, 20, narrow(e.text).c_str());
        ensureTrailingBackslashA(narrowBuffer, e.capacity);
        EXPECT_EQ(narrow(e.expected), narrowBuffer);
    }
    ensureTrailingBackslash(nullptr, 10);
    ensureTrailingBackslashA(nullptr, 10);
    wchar_t untouched[1] = {L'#'};
    ensureTrailingBackslash(untouched, 0);
    EXPECT_EQ(L'#', untouched[0]);
}

TEST_F(knownFolders, tempFileNamePrefersTmpAndFallsBackToTheProfile) {
    const std::wstring savedTmp = environment(L"TMP");
    const std::wstring tmp = m_appData.makeFolder(L"Tmp");
    struct restore {
        std::wstring value;
        ~restore() { ::_wputenv_s(L"TMP", value.c_str()); }
    } restoreTmp{savedTmp};

    ASSERT_EQ(0, ::_wputenv_s(L"TMP", tmp.c_str()));
    wchar_t* name = getTempFileNameInProfile(L"lsm");
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(0, std::wstring(name).rfind(tmp + L"\\lsm", 0)) << narrow(name);
    ::free(name);

    // Wine's runtime takes TMP whenever it is set, existing or not: test the fallback unset.
    ASSERT_EQ(0, ::_wputenv_s(L"TMP", L""));
    name = getTempFileNameInProfile(L"lsm");
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(0, std::wstring(name).rfind(g_profile + L"\\lsm", 0)) << narrow(name);
    ::free(name);

    char* nameA = getTempFileNameInProfileA("lsa");
    ASSERT_NE(nullptr, nameA);
    EXPECT_EQ(0, std::string(nameA).rfind(narrow(g_profile) + "\\lsa", 0)) << nameA;
    ::free(nameA);

    name = getTempFileNameInProfile(nullptr);
    EXPECT_NE(nullptr, name);
    ::free(name);
}

TEST(getFolderPath, resolvesTheApplicationDataFolderThroughShell32) {
    wchar_t path[MAX_PATH] = L"#";
    EXPECT_EQ(S_OK, getFolderPath(nullptr, CSIDL_APPDATA, nullptr, 0, path));
    EXPECT_EQ(environment(L"APPDATA"), path);
    char pathA[MAX_PATH] = "#";
    EXPECT_EQ(S_OK, getFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, pathA));
    EXPECT_EQ(narrow(environment(L"APPDATA")), pathA);
    EXPECT_EQ(E_POINTER, getFolderPath(nullptr, CSIDL_APPDATA, nullptr, 0, nullptr));
}

TEST(optionalModule, freesTheModuleOnlyWhenItLoadedIt) {
    // A system DLL this test program does not load by itself.
    const wchar_t* name = nullptr;
    for (const wchar_t* candidate : {L"msimg32.dll", L"wtsapi32.dll", L"version.dll"})
        if (::GetModuleHandleW(candidate) == nullptr) {
            name = candidate;
            break;
        }
    if (name == nullptr)
        GTEST_SKIP() << "every candidate DLL is already loaded";

    {
        const optionalModule module(name);
        EXPECT_TRUE(module.isAvailable());
        EXPECT_TRUE(module.loadedHere());
        EXPECT_EQ(nullptr, module.find<FARPROC>("noSuchFunction"));
    }
    EXPECT_EQ(nullptr, ::GetModuleHandleW(name)) << "loaded for the call, freed after";

    HMODULE ours = ::LoadLibraryW(name);
    ASSERT_NE(nullptr, ours);
    {
        const optionalModule module(name);
        EXPECT_FALSE(module.loadedHere());
    }
    EXPECT_EQ(ours, ::GetModuleHandleW(name)) << "a module loaded before stays loaded";
    ::FreeLibrary(ours);

    const optionalModule missing(L"noSuchLibrary.dll");
    EXPECT_FALSE(missing.isAvailable());
    EXPECT_EQ(nullptr, missing.find<FARPROC>("GetTickCount"));
}

TEST(productFolderInApplicationData, isCreatedBelowTheMakersFolder) {
    const std::wstring appData = environment(L"APPDATA");
    ASSERT_FALSE(appData.empty());
    const std::wstring maker = appData + L"\\Tarnwick";
    const bool makerExisted = folderExists(maker);
    const std::wstring name = L"LogsmithTests " + std::to_wstring(::GetCurrentProcessId());

    const std::wstring product = getProductFolder(nullptr, name.c_str());
    EXPECT_EQ(maker + L"\\" + name, product);
    EXPECT_TRUE(folderExists(product));
    EXPECT_EQ(maker + L"\\" + name + L"\\t.txt", getProductFilePath(name.c_str(), L"t.txt"));

    removeTestTree(product);
    if (!makerExisted)
        ::RemoveDirectoryW(maker.c_str()); // only when empty: other tests may be using it
}
