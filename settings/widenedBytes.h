#pragma once
// 8-bit text widened byte by byte: each byte becomes the 16-bit character of the same value
// (0x00 to 0xFF), with no code page.
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

class widenedBytes {
public:
    // get() is null when text is null or the copy cannot be allocated.
    explicit widenedBytes(const char* text) {
        if (text == nullptr)
            return;
        m_length = std::strlen(text);
        m_text.reset(new (std::nothrow) wchar_t[m_length + 1]);
        if (!m_text)
            return;
        for (std::size_t i = 0; i <= m_length; ++i)
            m_text[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    }
    const wchar_t* get() const { return m_text.get(); }
    std::size_t length() const { return m_length; }

private:
    std::unique_ptr<wchar_t[]> m_text;
    std::size_t m_length = 0;
};
