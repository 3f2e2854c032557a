#pragma once
// Wide string of the support library. 8-bit text is converted to wide with the ANSI code page.
#include <cstddef>
#include <string>

class stubString {
public:
    stubString() = default;
    stubString(const wchar_t* text);
    stubString(const char* text);
    stubString(const stubString& other) = default;
    ~stubString() = default;

    // Objects created with new live on the support heap.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    stubString& operator=(const stubString& other) = default;
    stubString& operator=(const wchar_t* text);
    stubString& operator=(const char* text);

    stubString& operator+=(const wchar_t* text);
    stubString& operator+=(wchar_t character);
    stubString& operator+=(char character);

    // Exact comparison; a null pointer compares as the empty string.
    bool operator==(const wchar_t* text) const;

    // Never null: an empty string gives "".
    operator const wchar_t*() const { return m_text.c_str(); }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    void Empty() { m_text.clear(); }
    // Zero when equal ignoring case.
    int CompareNoCase(const wchar_t* text) const;

private:
    std::wstring m_text;
};

// Converts 8-bit text with the ANSI code page; null gives "".
std::wstring widenAnsi(const char* text);
