#include "cli/regFile.h"

#include <cstdio>
#include <cstring>

namespace {

std::wstring hexBytes(DWORD type, const std::vector<BYTE>& bytes) {
    wchar_t prefix[16];
    if (type == REG_BINARY)
        std::swprintf(prefix, 16, L"hex:");
    else
        std::swprintf(prefix, 16, L"hex(%lx):", static_cast<unsigned long>(type));
    std::wstring text = prefix;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        wchar_t byte[4];
        std::swprintf(byte, 4, L"%02x", bytes[i]);
        if (i > 0)
            text += L',';
        text += byte;
    }
    return text;
}

// A REG_SZ that holds exactly one terminated string can be written as text; anything else
// (embedded or missing terminator, odd size) keeps its bytes.
bool isPlainString(const std::vector<BYTE>& bytes) {
    const std::size_t size = bytes.size();
    if (size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0)
        return false;
    for (std::size_t i = 0; i + 2 < size; i += 2)
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return false;
    return bytes[size - 2] == 0 && bytes[size - 1] == 0;
}

// A quoted string in a .reg file cannot hold a line break or other control character: the
// import would cut the line there. Such text keeps its bytes instead.
bool isQuotable(const std::wstring& text) {
    for (wchar_t character : text)
        if (character < 0x20 || character == 0x7F)
            return false;
    return true;
}

} // namespace

std::wstring regQuoted(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t character : text) {
        if (character == L'\\' || character == L'"')
            quoted += L'\\';
        quoted += character;
    }
    return quoted + L"\"";
}

std::wstring regData(DWORD type, const std::vector<BYTE>& bytes) {
    if (type == REG_DWORD && bytes.size() == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, bytes.data(), sizeof(value));
        wchar_t text[24];
        std::swprintf(text, 24, L"dword:%08lx", static_cast<unsigned long>(value));
        return text;
    }
    if (type == REG_SZ && isPlainString(bytes)) {
        std::wstring text(bytes.size() / sizeof(wchar_t) - 1, L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        if (isQuotable(text))
            return regQuoted(text);
    }
    return hexBytes(type, bytes);
}

std::string regFileBytes(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (wchar_t character : text) {
        bytes += static_cast<char>(character & 0xFF);
        bytes += static_cast<char>((character >> 8) & 0xFF);
    }
    return bytes;
}
