#include "platform/osVersion.h"

#include "platform/optionalModule.h"

#include <lm.h>
#include <winver.h>

#include <cstdint>
#include <cwchar>
#include <new>
#include <span>
#include <string_view>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the records keep the system's extended layout");

constexpr std::size_t servicePackCapacity = ARRAYSIZE(OSVERSIONINFOEXW{}.szCSDVersion);
constexpr DWORD workstationPlatformNt = 500;

// --- The system's answers ---------------------------------------------------------------------

BOOL systemGetVersion(OSVERSIONINFOEXW* version) {
    return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(version));
}

bool systemGetWorkstationVersion(workstationVersion* version) {
    const optionalModule netapi(L"netapi32.dll");
    const auto getInfo = netapi.find<decltype(&::NetWkstaGetInfo)>("NetWkstaGetInfo");
    const auto freeBuffer = netapi.find<decltype(&::NetApiBufferFree)>("NetApiBufferFree");
    if (getInfo == nullptr || freeBuffer == nullptr)
        return false;
    BYTE* buffer = nullptr;
    if (getInfo(nullptr, 100, &buffer) != NERR_Success)
        return false;
    const bool filled = buffer != nullptr;
    if (filled) {
        const auto* info = reinterpret_cast<const WKSTA_INFO_100*>(buffer);
        *version = {info->wki100_platform_id, info->wki100_ver_major, info->wki100_ver_minor};
    }
    freeBuffer(buffer);
    return filled;
}

// A value VerQueryValueW returned, accepted only when it lies inside the block.
bool insideBlock(const std::vector<BYTE>& block, const void* data, std::size_t bytes) {
    const auto start = reinterpret_cast<std::uintptr_t>(block.data());
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    return first >= start && first - start <= block.size() &&
           bytes <= block.size() - (first - start);
}

// kernel32.dll's version information, read through version.dll's functions looked up at run time.
class versionInformation {
public:
    versionInformation()
        : m_version(L"version.dll"),
          m_query(m_version.find<decltype(&::VerQueryValueW)>("VerQueryValueW")) {}

    bool read() {
        const auto size =
            m_version.find<decltype(&::GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
        const auto get = m_version.find<decltype(&::GetFileVersionInfoW)>("GetFileVersionInfoW");
        const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
        if (m_query == nullptr || size == nullptr || get == nullptr || kernel32 == nullptr)
            return false;
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(kernel32, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return false;
        DWORD ignored = 0;
        const DWORD bytes = size(path, &ignored);
        if (bytes == 0)
            return false;
        try {
            m_block.resize(bytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return get(path, 0, bytes, m_block.data()) != FALSE;
    }

    // The language and code page pairs, two words each.
    std::span<const WORD> translations() const {
        void* data = nullptr;
        UINT bytes = 0;
        if (!m_query(m_block.data(), L"\\VarFileInfo\\Translation", &data, &bytes) ||
            !insideBlock(m_block, data, bytes))
            return {};
        return {static_cast<const WORD*>(data), bytes / sizeof(WORD)};
    }

    // The product version text of one pair; empty when there is none.
    std::wstring productVersion(WORD language, WORD codePage) const {
        wchar_t name[64];
        if (FAILED(::StringCchPrintfW(name, ARRAYSIZE(name),
                                      L"\\StringFileInfo\\%04x%04x\\ProductVersion", language,
                                      codePage)))
            return {};
        void* data = nullptr;
        UINT characters = 0;
        if (!m_query(m_block.data(), name, &data, &characters) ||
            !insideBlock(m_block, data, std::size_t{characters} * sizeof(wchar_t)))
            return {};
        const auto* text = static_cast<const wchar_t*>(data);
        return {text, ::wcsnlen(text, characters)};
    }

private:
    const optionalModule m_version;
    const decltype(&::VerQueryValueW) m_query;
    std::vector<BYTE> m_block;
};

std::vector<std::wstring> systemGetProductVersions() {
    std::vector<std::wstring> texts;
    versionInformation information;
    if (!information.read())
        return texts;
    const std::span<const WORD> pairs = information.translations();
    for (std::size_t at = 0; at + 1 < pairs.size(); at += 2)
        texts.push_back(information.productVersion(pairs[at], pairs[at + 1]));
    return texts;
}

// --- The query --------------------------------------------------------------------------------

osVersionSources withSystemDefaults(osVersionSources sources) {
    if (sources.getVersion == nullptr)
        sources.getVersion = &systemGetVersion;
    if (sources.getWorkstationVersion == nullptr)
        sources.getWorkstationVersion = &systemGetWorkstationVersion;
    if (sources.getProductVersions == nullptr)
        sources.getProductVersions = &systemGetProductVersions;
    return sources;
}

osVersionSources s_sources = withSystemDefaults({});
INIT_ONCE s_queried = INIT_ONCE_STATIC_INIT;
OSVERSIONINFOEXW s_reported;
OSVERSIONINFOEXW s_actual;

// The third of the numbers "10.0.19041.1" holds, each separated by one character; false when the
// text holds fewer than three. Digits beyond 32 bits wrap, which keeps the low 16 bits exact.
bool readThirdNumber(std::wstring_view text, DWORD* number) {
    std::size_t at = 0;
    DWORD value = 0;
    for (int index = 0; index < 3; ++index) {
        if (index > 0 && at++ >= text.size())
            return false;
        const std::size_t first = at;
        for (value = 0; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at)
            value = value * 10 + static_cast<DWORD>(text[at] - L'0');
        if (at == first)
            return false;
    }
    *number = value;
    return true;
}

// Raises major and minor to the workstation service's version when that is newer.
bool correctFromWorkstation(const OSVERSIONINFOEXW& reported, OSVERSIONINFOEXW& actual) {
    workstationVersion workstation{};
    if (!s_sources.getWorkstationVersion(&workstation))
        return false;
    const bool newer = workstation.major >= reported.dwMajorVersion &&
                       (workstation.minor > reported.dwMinorVersion ||
                        workstation.major > reported.dwMajorVersion);
    if (!newer)
        return false;
    actual.dwMajorVersion = workstation.major;
    actual.dwMinorVersion = workstation.minor;
    if (workstation.platformId == workstationPlatformNt)
        actual.dwPlatformId = VER_PLATFORM_WIN32_NT;
    return true;
}

std::vector<std::wstring> productVersions() {
    try {
        return s_sources.getProductVersions();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// Each pair's text in turn; a text with fewer than three numbers leaves the build as it was.
void takeBuildFromProductVersion(OSVERSIONINFOEXW& actual) {
    for (const std::wstring& text : productVersions()) {
        DWORD build = 0;
        if (readThirdNumber(text, &build))
            actual.dwBuildNumber = build & 0xFFFF;
    }
}

void fillRecords() {
    OSVERSIONINFOEXW reported{};
    reported.dwOSVersionInfoSize = sizeof reported;
    if (!s_sources.getVersion(&reported)) {
        // Whatever a failing call left behind is not a version.
        reported = {};
        reported.dwOSVersionInfoSize = sizeof reported;
    }
    reported.szCSDVersion[servicePackCapacity - 1] = L'\0';
    OSVERSIONINFOEXW actual = reported;
    if (correctFromWorkstation(reported, actual))
        takeBuildFromProductVersion(actual);
    s_reported = reported;
    s_actual = actual;
}

BOOL CALLBACK runQuery(INIT_ONCE*, void*, void**) {
    fillRecords();
    return TRUE;
}

const OSVERSIONINFOEXW& record(BOOL actual) {
    queryOsVersion();
    return actual ? s_actual : s_reported;
}

DWORD reportedMajor() {
    return record(FALSE).dwMajorVersion;
}

DWORD reportedMinor() {
    return record(FALSE).dwMinorVersion;
}

constexpr DWORD firstWindows11Build = 22000;

bool reportedIs(DWORD major, DWORD minor) {
    return reportedMajor() == major && reportedMinor() == minor;
}

CString formatted(const wchar_t* format, auto... values) {
    CString text;
    text.Format(format, values...);
    return text;
}

} // namespace

void queryOsVersion() {
    ::InitOnceExecuteOnce(&s_queried, &runQuery, nullptr, nullptr);
}

BOOL getReportedOsVersion(OSVERSIONINFOW* version) {
    if (version == nullptr)
        return FALSE;
    const OSVERSIONINFOEXW& reported = record(FALSE);
    // The caller's record is the shorter form: its size field must say so.
    version->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    version->dwMajorVersion = reported.dwMajorVersion;
    version->dwMinorVersion = reported.dwMinorVersion;
    version->dwBuildNumber = reported.dwBuildNumber;
    version->dwPlatformId = reported.dwPlatformId;
    ::StringCchCopyNW(version->szCSDVersion, ARRAYSIZE(version->szCSDVersion),
                      reported.szCSDVersion, servicePackCapacity);
    return TRUE;
}

BOOL getReportedOsVersionEx(OSVERSIONINFOEXW* version) {
    if (version == nullptr)
        return FALSE;
    *version = record(FALSE);
    return TRUE;
}

BOOL getActualOsVersionEx(OSVERSIONINFOEXW* version) {
    if (version == nullptr)
        return FALSE;
    *version = record(TRUE);
    return TRUE;
}

CString getOsVersionText(BOOL actual) {
    const OSVERSIONINFOEXW& chosen = record(actual);
    return formatted(L"%u.%u", chosen.dwMajorVersion, chosen.dwMinorVersion);
}

CString getOsName(BOOL actual) {
    const OSVERSIONINFOEXW& chosen = record(actual);
    // Windows 11 kept 10.0: only the build tells it apart. The server editions built on it are
    // no Windows 11, so they keep the table's name.
    if (chosen.dwMajorVersion == 10 && chosen.dwMinorVersion == 0 &&
        chosen.dwBuildNumber >= firstWindows11Build && chosen.wProductType == VER_NT_WORKSTATION)
        return L"Windows 11";
    return getOsNameFromVersion(chosen.dwMajorVersion, chosen.dwMinorVersion);
}

CString getServicePackText(BOOL actual) {
    const OSVERSIONINFOEXW& chosen = record(actual);
    return formatted(L"%u.%u", unsigned{chosen.wServicePackMajor},
                     unsigned{chosen.wServicePackMinor});
}

CString getBuildNumberText(BOOL actual) {
    return formatted(L"%u", record(actual).dwBuildNumber);
}

CString getServicePackName() {
    const wchar_t* text = record(FALSE).szCSDVersion;
    return CString(text, static_cast<int>(::wcsnlen(text, servicePackCapacity)));
}

CString getOsNameFromVersion(unsigned major, unsigned minor) {
    if (major >= 7)
        return L"Windows 10";
    if (major == 6)
        return minor >= 3   ? L"Windows 8.1"
               : minor == 2 ? L"Windows 8"
               : minor == 1 ? L"Windows 7"
                            : L"Windows Vista";
    if (major == 5)
        return minor == 0 ? L"Windows 2000" : L"Windows XP";
    if (major == 4)
        return L"Windows NT 4";
    if (major == 3)
        return formatted(L"Windows NT %u.%02u", major, minor);
    return L"Windows NT";
}

BOOL isVersion4WithMinor() {
    return reportedMajor() == 4 && reportedMinor() != 0;
}

BOOL isWindows2000() {
    return reportedIs(5, 0);
}

BOOL isWindows2000OrLater() {
    return reportedMajor() >= 5;
}

BOOL isWindowsXP() {
    return reportedMajor() == 5 && reportedMinor() != 0;
}

BOOL isWindows2000OrEarlier() {
    return reportedMajor() < 5 || reportedIs(5, 0);
}

BOOL isLaterThanWindows2000() {
    return reportedMajor() > 5 || isWindowsXP();
}

BOOL isWindowsVista() {
    return reportedIs(6, 0);
}

BOOL isWindowsVistaOrLater() {
    return reportedMajor() >= 6;
}

BOOL isWindows7() {
    return reportedIs(6, 1);
}

BOOL isWindows8() {
    return reportedIs(6, 2);
}

BOOL isWindowsVistaOr7() {
    return reportedMajor() == 6 && reportedMinor() < 2;
}

BOOL isWindows8OrLater() {
    return reportedMajor() >= 7 || (reportedMajor() == 6 && reportedMinor() >= 2);
}

BOOL isWindows81() {
    return reportedIs(6, 3);
}

BOOL isWindowsVistaTo8() {
    return reportedMajor() == 6 && reportedMinor() < 3;
}

BOOL isWindows81OrLater() {
    return reportedMajor() >= 7 || (reportedMajor() == 6 && reportedMinor() >= 3);
}

BOOL isWindows10() {
    return reportedIs(10, 0);
}

BOOL isEarlierThanWindows10() {
    return reportedMajor() < 10;
}

BOOL isWindows10OrLater() {
    return reportedMajor() >= 10;
}

DWORD getProcessQueryAccess(BOOL fullAccess, BOOL withMemoryRead) {
    DWORD access = !fullAccess && isWindowsVistaOrLater() ? PROCESS_QUERY_LIMITED_INFORMATION
                                                          : PROCESS_QUERY_INFORMATION;
    if (withMemoryRead)
        access |= PROCESS_VM_READ;
    return access;
}

DWORD getThreadQueryAccess() {
    return isWindowsVistaOrLater() ? THREAD_QUERY_LIMITED_INFORMATION : THREAD_QUERY_INFORMATION;
}

osVersionSources setOsVersionSources(osVersionSources sources) {
    const osVersionSources previous = s_sources;
    s_sources = withSystemDefaults(sources);
    ::InitOnceInitialize(&s_queried);
    return previous;
}

osVersionSources systemOsVersionSources() {
    return withSystemDefaults({});
}
