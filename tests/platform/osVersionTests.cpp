#include "platform/osVersion.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the fake system answers; each query starts from a fresh copy.
struct fakeSystem {
    DWORD major, minor, build;
    bool versionFails = false;
    std::optional<workstationVersion> workstation;
    std::vector<std::wstring> productVersions;
    DWORD delay = 0; // Pause inside the version call, so racing callers overlap.
    BYTE productType = VER_NT_WORKSTATION;
};
fakeSystem g_system;
std::atomic<int> g_versionCalls, g_productCalls;

BOOL fakeGetVersion(OSVERSIONINFOEXW* version) {
    ++g_versionCalls;
    if (g_system.versionFails) {
        version->dwMajorVersion = 9; // a failing call may leave rubbish behind
        return FALSE;
    }
    version->dwMajorVersion = g_system.major;
    ::Sleep(g_system.delay);
    version->dwMinorVersion = g_system.minor;
    version->dwBuildNumber = g_system.build;
    // Not the NT platform, so that a correction of it shows.
    version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    version->wServicePackMajor = 1;
    version->wProductType = g_system.productType;
    std::wmemset(version->szCSDVersion, L'x', 128); // unterminated
    return TRUE;
}

bool fakeWorkstation(workstationVersion* version) {
    if (g_system.workstation)
        *version = *g_system.workstation;
    return g_system.workstation.has_value();
}

std::vector<std::wstring> fakeProductVersions() {
    ++g_productCalls;
    return g_system.productVersions;
}

class osVersion : public ::testing::Test {
protected:
    void SetUp() override { use({6, 2, 9200, false, {{500, 10, 0}}, {L"10.0.19041.1"}}); }
    void TearDown() override { setOsVersionSources({}); }

    static void use(const fakeSystem& system) {
        g_system = system;
        g_versionCalls = g_productCalls = 0;
        setOsVersionSources({&fakeGetVersion, &fakeWorkstation, &fakeProductVersions});
    }
    static OSVERSIONINFOEXW actual() {
        OSVERSIONINFOEXW version{};
        getActualOsVersionEx(&version);
        return version;
    }
};

} // namespace

TEST_F(osVersion, reportedEightIsCorrectedToTenButPredicatesReadTheReportedView) {
    EXPECT_EQ(L"6.2 Windows 8 9200",
              getOsVersionText(FALSE) + L" " + getOsName(FALSE) + L" " + getBuildNumberText(FALSE));
    EXPECT_EQ(L"10.0 Windows 10 19041",
              getOsVersionText(TRUE) + L" " + getOsName(TRUE) + L" " + getBuildNumberText(TRUE));
    EXPECT_EQ(L"1.0", getServicePackText(TRUE));
    EXPECT_TRUE(isWindows8());
    EXPECT_FALSE(isWindows10OrLater());
    EXPECT_FALSE(getReportedOsVersion(nullptr) || getReportedOsVersionEx(nullptr) ||
                 getActualOsVersionEx(nullptr));

    // The service-pack text keeps 127 characters and its terminator in every copy.
    OSVERSIONINFOW basic;
    std::wmemset(basic.szCSDVersion, L'?', 128);
    ASSERT_TRUE(getReportedOsVersion(&basic));
    EXPECT_EQ(9200u, basic.dwBuildNumber);
    EXPECT_EQ(std::wstring(127, L'x'), basic.szCSDVersion);
    EXPECT_EQ(127, getServicePackName().GetLength());
    EXPECT_EQ(L'\0', actual().szCSDVersion[127]);
}

TEST_F(osVersion, workstationDecidesTheCorrectionAndProductVersionTheBuild) {
    const struct {
        DWORD major, minor;
        std::optional<workstationVersion> workstation;
        std::vector<std::wstring> productVersions;
        DWORD actualMajor, actualMinor, actualPlatform, actualBuild;
    } examples[] = {
        {6, 3, {{500, 6, 3}}, {L"10.0.19041.1"}, 6, 3, 1, 9200},
        {10, 0, {{500, 6, 3}}, {L"10.0.19041.1"}, 10, 0, 1, 9200},
        {6, 1, std::nullopt, {L"10.0.19041.1"}, 6, 1, 1, 9200},
        {6, 3, {{500, 7, 0}}, {L"7.0.7777.1"}, 7, 0, 2, 7777},
        {6, 1, {{400, 10, 0}}, {L"10.0.100.1"}, 10, 0, 1, 100},
        {6, 1, {{500, 10, 0}}, {L"10.0.70000.1"}, 10, 0, 2, 70000 - 65536},
        {6, 2, {{500, 10, 0}}, {L"10.0", L"10.0."}, 10, 0, 2, 9200},
        {6, 2, {{500, 10, 0}}, {L"10.0.100.1", L"10.0.200.1", L"10.0"}, 10, 0, 2, 200},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(testing::Message() << "row " << (&e - examples));
        use({e.major, e.minor, 9200, false, e.workstation, e.productVersions});
        const OSVERSIONINFOEXW version = actual();
        EXPECT_EQ(e.actualMajor, version.dwMajorVersion);
        EXPECT_EQ(e.actualMinor, version.dwMinorVersion);
        EXPECT_EQ(e.actualPlatform, version.dwPlatformId);
        EXPECT_EQ(e.actualBuild, version.dwBuildNumber);
        // kernel32's version is read only when there is a correction to complete.
        EXPECT_EQ(e.actualMajor != e.major || e.actualMinor != e.minor, g_productCalls == 1);
    }
}

TEST_F(osVersion, failingVersionCallReadsAsVersionZero) {
    use({0, 0, 0, true, std::nullopt, {}});
    OSVERSIONINFOEXW reported{};
    ASSERT_TRUE(getReportedOsVersionEx(&reported));
    EXPECT_EQ(284u, reported.dwOSVersionInfoSize);
    OSVERSIONINFOW shortForm{};
    ASSERT_TRUE(getReportedOsVersion(&shortForm));
    EXPECT_EQ(sizeof shortForm, shortForm.dwOSVersionInfoSize) << "never the longer record's size";
    EXPECT_EQ(L"0.0 Windows NT", getOsVersionText(TRUE) + L" " + getOsName(FALSE));
    EXPECT_TRUE(isWindows2000OrEarlier());
    EXPECT_FALSE(isWindows2000OrLater());
}

TEST(osVersionNames, eachBoundaryOfTheNameTable) {
    const struct {
        unsigned major, minor;
        const wchar_t* name;
    } examples[] = {
        {2, 99, L"Windows NT"},         {3, 51, L"Windows NT 3.51"}, {3, 5, L"Windows NT 3.05"},
        {4, 90, L"Windows NT 4"},       {5, 0, L"Windows 2000"},     {5, 2, L"Windows XP"},
        {6, 0, L"Windows Vista"},       {6, 1, L"Windows 7"},        {6, 2, L"Windows 8"},
        {6, 3, L"Windows 8.1"},         {6, 4, L"Windows 8.1"},      {7, 0, L"Windows 10"},
        {0xFFFFFFFF, 0, L"Windows 10"},
    };
    for (const auto& e : examples)
        EXPECT_EQ(e.name, getOsNameFromVersion(e.major, e.minor)) << e.major << "." << e.minor;
}

TEST_F(osVersion, windows11IsNamedByItsBuildOnWorkstationsOnly) {
    const struct {
        DWORD major, minor, build;
        BYTE productType;
        const wchar_t* name;
    } examples[] = {
        {10, 0, 22000, VER_NT_WORKSTATION, L"Windows 11"},
        {10, 0, 21999, VER_NT_WORKSTATION, L"Windows 10"},
        {10, 0, 26100, VER_NT_SERVER, L"Windows 10"},
        {11, 0, 22000, VER_NT_WORKSTATION, L"Windows 10"},
    };
    for (const auto& e : examples) {
        fakeSystem system{e.major, e.minor, e.build, false, {{500, e.major, e.minor}}, {}};
        system.productType = e.productType;
        use(system);
        EXPECT_EQ(e.name, getOsName(FALSE)) << e.build;
    }
    // The actual view of a program without a manifest entry: reported as 8, built as 11.
    use({6, 2, 9200, false, {{500, 10, 0}}, {L"10.0.22631.1"}});
    EXPECT_EQ(L"Windows 8 Windows 11", getOsName(FALSE) + L" " + getOsName(TRUE));
}

TEST_F(osVersion, predicatesAndAccessMasksFollowTheReportedVersion) {
    using predicate = BOOL (*)();
    const predicate predicates[] = {
        isVersion4WithMinor, isWindows2000,          isWindows2000OrLater,
        isWindowsXP,         isWindows2000OrEarlier, isLaterThanWindows2000,
        isWindowsVista,      isWindowsVistaOrLater,  isWindows7,
        isWindows8,          isWindowsVistaOr7,      isWindows8OrLater,
        isWindows81,         isWindowsVistaTo8,      isWindows81OrLater,
        isWindows10,         isEarlierThanWindows10, isWindows10OrLater};
    // One character per predicate above, in order.
    const struct {
        DWORD major, minor;
        const char* expected;
    } examples[] = {
        {4, 0, "000010000000000010"},  {4, 1, "100010000000000010"},  {5, 0, "011010000000000010"},
        {5, 2, "001101000000000010"},  {6, 0, "001001110010010010"},  {6, 1, "001001011010010010"},
        {6, 2, "001001010101010010"},  {6, 3, "001001010001101010"},  {7, 0, "001001010001001010"},
        {10, 0, "001001010001001101"}, {11, 0, "001001010001001001"},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(testing::Message() << e.major << "." << e.minor);
        use({e.major, e.minor, 1, false, std::nullopt, {}});
        std::string answers;
        for (const predicate ask : predicates)
            answers += ask() ? '1' : '0';
        EXPECT_EQ(e.expected, answers);
        const DWORD limited = e.major >= 6 ? 0x1000 : 0x400;
        EXPECT_EQ(limited | 0x10, getProcessQueryAccess(FALSE, TRUE));
        EXPECT_EQ(0x400u, getProcessQueryAccess(TRUE, FALSE));
        EXPECT_EQ(e.major >= 6 ? 0x800u : 0x40u, getThreadQueryAccess());
    }
}

TEST_F(osVersion, threadsMakingTheFirstCallTogetherAllSeeCompleteRecords) {
    fakeSystem system = g_system;
    system.delay = 50;
    use(system);
    std::atomic<bool> start = false;
    std::atomic<int> complete = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            while (!start)
                std::this_thread::yield();
            if (getOsVersionText(FALSE) == L"6.2" && actual().dwBuildNumber == 19041)
                ++complete;
        });
    start = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(8, complete);
    EXPECT_EQ(1, g_versionCalls);
}

// Under Wine GetVersionExW and the workstation service both say 6.1, so the real query makes no
// correction; an older reported version shows that kernel32.dll's product version is read.
TEST(osVersionSystem, realQueryAgreesWithTheSystemCalls) {
    setOsVersionSources({});
    OSVERSIONINFOEXW direct{}, reported{}, actual{};
    direct.dwOSVersionInfoSize = sizeof direct;
    ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&direct)));
    ASSERT_TRUE(getReportedOsVersionEx(&reported));
    EXPECT_EQ(0, std::memcmp(&direct, &reported, sizeof direct));

    osVersionSources system = systemOsVersionSources();
    workstationVersion workstation{};
    ASSERT_TRUE(system.getWorkstationVersion(&workstation));
    const std::vector<std::wstring> texts = system.getProductVersions();
    DWORD major = 0, minor = 0, build = 0;
    ASSERT_FALSE(texts.empty());
    ASSERT_EQ(3, std::swscanf(texts.back().c_str(), L"%lu.%lu.%lu", &major, &minor, &build));

    system.getVersion = [](OSVERSIONINFOEXW* version) -> BOOL {
        version->dwMajorVersion = 5;
        return TRUE;
    };
    setOsVersionSources(system);
    ASSERT_TRUE(getActualOsVersionEx(&actual));
    setOsVersionSources({});
    EXPECT_EQ(workstation.major, actual.dwMajorVersion);
    EXPECT_EQ(workstation.minor, actual.dwMinorVersion);
    EXPECT_EQ(build & 0xFFFF, actual.dwBuildNumber);
}
