#pragma once
// Registry editor files (.reg, version 5): UTF-16LE with a byte-order mark, CR LF line ends,
// one [key] section per key and one "name"=data line per value.
#include <windows.h>

#include <string>
#include <vector>

inline constexpr const wchar_t* regFileHeader = L"Windows Registry Editor Version 5.00";

// A quoted string with backslashes and quotes escaped.
std::wstring regQuoted(const std::wstring& text);
// The data part of a value line: dword:xxxxxxxx, a quoted string, hex:.. or hex(type):..
// (a string holding a control character is written as hex(1):..)
std::wstring regData(DWORD type, const std::vector<BYTE>& bytes);
// The whole file's bytes for the given text (lines separated by "\r\n").
std::string regFileBytes(const std::wstring& text);
