#pragma once
// The framework's wide string: value semantics, never a null buffer.
#ifndef RC_INVOKED
#include <windows.h>

#include <cstdarg>
#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text != nullptr ? text : L"") {}
    // 8-bit text is converted with the ANSI code page.
    CString(const char* text);
    CString(const wchar_t* text, int length);
    CString(wchar_t character, int repeat = 1);

    CString& operator=(const wchar_t* text);
    CString& operator=(const char* text);
    CString& operator=(wchar_t character);

    CString& operator+=(const CString& text);
    CString& operator+=(const wchar_t* text);
    CString& operator+=(wchar_t character);

    friend CString operator+(const CString& left, const CString& right);
    friend CString operator+(const CString& left, const wchar_t* right);
    friend CString operator+(const wchar_t* left, const CString& right);
    friend CString operator+(const CString& left, wchar_t right);

    friend bool operator==(const CString& left, const CString& right) {
        return left.m_text == right.m_text;
    }
    friend bool operator==(const CString& left, const wchar_t* right) {
        return left.m_text == (right != nullptr ? right : L"");
    }
    friend bool operator<(const CString& left, const CString& right) {
        return left.m_text < right.m_text;
    }

    operator const wchar_t*() const { return m_text.c_str(); }
    const wchar_t* GetString() const { return m_text.c_str(); }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    wchar_t GetAt(int index) const;
    int Compare(const wchar_t* text) const;
    int CompareNoCase(const wchar_t* text) const;

    // printf-style formatting with the Windows runtime's rules; use %ls and %hs for strings.
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list arguments);

    // Index of the first match at or after start, or -1.
    int Find(wchar_t character, int start = 0) const;
    int Find(const wchar_t* text, int start = 0) const;
    // Index of the last occurrence, or -1.
    int ReverseFind(wchar_t character) const;

    // Counts are clamped to the string, so out-of-range arguments give shorter results.
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    // Replaces the text with a string resource of the program; FALSE (and empty) when there is
    // no such string.
    BOOL LoadString(UINT id);

    CString& MakeLower();
    CString& MakeUpper();

    // Writable buffer of at least minLength characters plus a terminator for an API to fill;
    // ReleaseBuffer(-1) takes the length up to the first terminator.
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    const std::wstring& str() const { return m_text; }

private:
    std::wstring m_text;
};

#endif
