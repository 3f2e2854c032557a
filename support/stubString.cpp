#include "support/stubString.h"

#include "support/tarnHeap.h"

#include <windows.h>

#include <cstring>

std::wstring widenAnsi(const char* text) {
    if (text == nullptr || *text == '\0')
        return std::wstring();
    const std::size_t length = std::strlen(text);
    if (length > static_cast<std::size_t>(INT_MAX))
        return std::wstring();
    const int byteCount = static_cast<int>(length);
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text, byteCount, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = ::MultiByteToWideChar(CP_ACP, 0, text, byteCount, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

stubString::stubString(const wchar_t* text) : m_text(text != nullptr ? text : L"") {}

stubString::stubString(const char* text) : m_text(widenAnsi(text)) {}

void* stubString::operator new(std::size_t size) noexcept {
    return tarnHeapAlloc(0, size);
}

void stubString::operator delete(void* block) noexcept {
    if (block != nullptr)
        tarnHeapFree(0, block);
}

stubString& stubString::operator=(const wchar_t* text) {
    m_text = text != nullptr ? text : L"";
    return *this;
}

stubString& stubString::operator=(const char* text) {
    m_text = widenAnsi(text);
    return *this;
}

stubString& stubString::operator+=(const wchar_t* text) {
    if (text != nullptr)
        m_text += text;
    return *this;
}

stubString& stubString::operator+=(wchar_t character) {
    m_text += character;
    return *this;
}

stubString& stubString::operator+=(char character) {
    const char pair[2] = {character, '\0'};
    m_text += widenAnsi(pair);
    return *this;
}

bool stubString::operator==(const wchar_t* text) const {
    return m_text == (text != nullptr ? text : L"");
}

int stubString::CompareNoCase(const wchar_t* text) const {
    return ::lstrcmpiW(m_text.c_str(), text != nullptr ? text : L"");
}
