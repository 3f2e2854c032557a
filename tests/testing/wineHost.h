#pragma once
// The Linux host behind Wine, for the few tests that reach it. On Windows each answers "no".

#include <string>

// Wine reports its version through ntdll; Windows has no such export.
bool runningUnderWine();
// The Linux name of a Windows path under Wine; empty on Windows or when it has none.
std::string linuxPathOf(const std::wstring& path);
// The Windows name Wine gives a Linux path (its drive letters are the prefix's own); empty on
// Windows or when it has none.
std::wstring windowsPathOf(const char* linuxPath);
