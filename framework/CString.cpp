#include "framework/CString.h"

#include "framework/CWinApp.h"
#include "support/stubString.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cstdio>

CString::CString(const char* text) : m_text(widenAnsi(text)) {}

CString::CString(const wchar_t* text, int length) {
    if (text != nullptr && length > 0)
        m_text.assign(text, static_cast<std::size_t>(length));
}

CString::CString(wchar_t character, int repeat) {
    if (repeat > 0)
        m_text.assign(static_cast<std::size_t>(repeat), character);
}

CString& CString::operator=(const wchar_t* text) {
    m_text = text != nullptr ? text : L"";
    return *this;
}

CString& CString::operator=(const char* text) {
    m_text = widenAnsi(text);
    return *this;
}

CString& CString::operator=(wchar_t character) {
    m_text.assign(1, character);
    return *this;
}

CString& CString::operator+=(const CString& text) {
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(const wchar_t* text) {
    if (text != nullptr)
        m_text += text;
    return *this;
}

CString& CString::operator+=(wchar_t character) {
    m_text += character;
    return *this;
}

CString operator+(const CString& left, const CString& right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, const wchar_t* right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const wchar_t* left, const CString& right) {
    CString result(left);
    result += right;
    return result;
}

CString operator+(const CString& left, wchar_t right) {
    CString result(left);
    result += right;
    return result;
}

wchar_t CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength())
        return L'\0';
    return m_text[static_cast<std::size_t>(index)];
}

int CString::Compare(const wchar_t* text) const {
    return m_text.compare(text != nullptr ? text : L"");
}

int CString::CompareNoCase(const wchar_t* text) const {
    return ::lstrcmpiW(m_text.c_str(), text != nullptr ? text : L"");
}

// printf-style by the framework's interface; FormatV bounds the result.
void CString::Format(const wchar_t* format, ...) { // NOLINT(cert-dcl50-cpp)
    va_list arguments;
    va_start(arguments, format);
    FormatV(format, arguments);
    va_end(arguments);
}

void CString::FormatV(const wchar_t* format, va_list arguments) {
    if (format == nullptr) {
        m_text.clear();
        return;
    }
    va_list counting;
    va_copy(counting, arguments);
    const int needed = _vscwprintf(format, counting);
    va_end(counting);
    if (needed <= 0) {
        m_text.clear();
        return;
    }
    std::wstring result(static_cast<std::size_t>(needed) + 1, L'\0');
    const int written = _vsnwprintf(result.data(), result.size(), format, arguments);
    result.resize(written >= 0 ? static_cast<std::size_t>(written) : 0);
    m_text = std::move(result);
}

int CString::Find(wchar_t character, int start) const {
    if (start < 0 || start >= GetLength())
        return -1;
    const std::size_t found = m_text.find(character, static_cast<std::size_t>(start));
    return found == std::wstring::npos ? -1 : static_cast<int>(found);
}

int CString::Find(const wchar_t* text, int start) const {
    if (text == nullptr || start < 0 || start > GetLength())
        return -1;
    const std::size_t found = m_text.find(text, static_cast<std::size_t>(start));
    return found == std::wstring::npos ? -1 : static_cast<int>(found);
}

int CString::ReverseFind(wchar_t character) const {
    const std::size_t found = m_text.rfind(character);
    return found == std::wstring::npos ? -1 : static_cast<int>(found);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.c_str(), count);
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_text.c_str() + first, count);
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.c_str() + (GetLength() - count), count);
}

BOOL CString::LoadString(UINT id) {
    m_text.clear();
    // With no buffer the system hands out a read-only pointer to the resource's own text.
    const wchar_t* resourceText = nullptr;
    const int length =
        ::LoadStringW(AfxFindResourceHandle(MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING), id,
                      reinterpret_cast<LPWSTR>(&resourceText), 0);
    if (length <= 0 || resourceText == nullptr)
        return FALSE;
    m_text.assign(resourceText, static_cast<std::size_t>(length));
    return TRUE;
}

CString& CString::MakeLower() {
    if (!m_text.empty())
        ::CharLowerBuffW(m_text.data(), static_cast<DWORD>(m_text.size()));
    return *this;
}

CString& CString::MakeUpper() {
    if (!m_text.empty())
        ::CharUpperBuffW(m_text.data(), static_cast<DWORD>(m_text.size()));
    return *this;
}

wchar_t* CString::GetBuffer(int minLength) {
    const std::size_t wanted = static_cast<std::size_t>(std::max(minLength, GetLength()));
    m_text.resize(wanted);
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) {
        m_text.resize(std::wcslen(m_text.c_str()));
        return;
    }
    m_text.resize(std::min(static_cast<std::size_t>(newLength), m_text.size()));
}
