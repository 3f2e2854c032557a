#pragma once
// The Windows version the process runs on, in two views of one query: the reported view is what
// GetVersionExW says (programs without a compatibility manifest entry get an old number), the
// actual view is raised to the workstation service's version when that is newer, with the build
// number then taken from kernel32.dll's product version. The query runs once per process, on the
// first call of any function here (safe from several threads); everything reads its result.
#ifndef RC_INVOKED
#include "framework/CString.h"

#include <windows.h>

#include <string>
#include <vector>

// Fills both records unless they are filled already.
void queryOsVersion();

// 0 for a null record, else 1. The basic form copies size, numbers, platform id and service-pack
// text of the reported view; the extended forms copy every field of their view.
BOOL getReportedOsVersion(OSVERSIONINFOW* version);
BOOL getReportedOsVersionEx(OSVERSIONINFOEXW* version);
BOOL getActualOsVersionEx(OSVERSIONINFOEXW* version);

// "major.minor", the name, "spMajor.spMinor" and the build number of the actual view when
// actual is non-zero, else of the reported view. The name of a workstation 10.0 with build 22000
// or later is "Windows 11"; otherwise it is getOsNameFromVersion's.
CString getOsVersionText(BOOL actual);
CString getOsName(BOOL actual);
CString getServicePackText(BOOL actual);
CString getBuildNumberText(BOOL actual);
// The reported service-pack text ("Service Pack 1").
CString getServicePackName();

// The client name of a version; server editions share it. 7.0 and later are "Windows 10".
CString getOsNameFromVersion(unsigned major, unsigned minor);

// Questions about the reported view.
BOOL isVersion4WithMinor();
BOOL isWindows2000();
BOOL isWindows2000OrLater();
BOOL isWindowsXP();
BOOL isWindows2000OrEarlier();
BOOL isLaterThanWindows2000();
BOOL isWindowsVista();
BOOL isWindowsVistaOrLater();
BOOL isWindows7();
BOOL isWindows8();
BOOL isWindowsVistaOr7();
BOOL isWindows8OrLater();
BOOL isWindows81();
BOOL isWindowsVistaTo8();
BOOL isWindows81OrLater();
BOOL isWindows10();
BOOL isEarlierThanWindows10();
BOOL isWindows10OrLater();

// The rights to ask for when opening a process or thread to query it: the limited query right
// from Vista on (older systems refuse it), the full one before or when fullAccess is non-zero;
// PROCESS_VM_READ added when withMemoryRead is non-zero.
DWORD getProcessQueryAccess(BOOL fullAccess, BOOL withMemoryRead);
DWORD getThreadQueryAccess();

// Test seam: the three system answers behind the query. Null members stand for the system's own
// calls. Setting the sources makes the next call run the query again; do it only while no other
// thread uses these functions. The previous sources are returned.
struct workstationVersion {
    DWORD platformId;
    DWORD major;
    DWORD minor;
};
struct osVersionSources {
    // GetVersionExW on an extended record whose size is set.
    BOOL (*getVersion)(OSVERSIONINFOEXW* version);
    // NetWkstaGetInfo level 100 of this machine; false when it is missing or fails.
    bool (*getWorkstationVersion)(workstationVersion* version);
    // kernel32.dll's product version text for each translation pair, in order; none when the
    // version information cannot be read.
    std::vector<std::wstring> (*getProductVersions)();
};
osVersionSources setOsVersionSources(osVersionSources sources);
// The system's own calls, as the query uses them when no seam is set.
osVersionSources systemOsVersionSources();

#endif
