#include "cli/textOutput.h"

#include "support/win32Errors.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != FALSE;
}

// Writes text in pieces of at most chunk units through write, until all is written.
template <class Text, class Write>
DWORD writeInPieces(const Text& text, std::size_t chunk, Write write) {
    const auto* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const DWORD piece = static_cast<DWORD>(std::min(left, chunk));
        DWORD written = 0;
        ::SetLastError(ERROR_SUCCESS);
        // Success with nothing written would loop forever: that is a failure too.
        if (!write(next, piece, &written) || written == 0)
            return lastErrorOr(ERROR_WRITE_FAULT);
        next += written;
        left -= written;
    }
    return ERROR_SUCCESS;
}

DWORD writeAll(HANDLE handle, const std::string& bytes) {
    return writeInPieces(bytes, 1u << 20, [&](const char* data, DWORD count, DWORD* written) {
        return ::WriteFile(handle, data, count, written, nullptr);
    });
}

DWORD writeConsole(HANDLE handle, const std::wstring& text) {
    return writeInPieces(text, 8192, [&](const wchar_t* data, DWORD count, DWORD* written) {
        return ::WriteConsoleW(handle, data, count, written, nullptr);
    });
}

std::wstring withCrLf(const std::wstring& text) {
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 16);
    for (wchar_t character : text) {
        if (character == L'\n')
            lines += L'\r';
        lines += character;
    }
    return lines;
}

bool isHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
bool isPairAt(const std::wstring& text, std::size_t index) {
    return isHighSurrogate(text[index]) && index + 1 < text.size() &&
           isLowSurrogate(text[index + 1]);
}

void appendCode(std::wstring& text, const wchar_t* format, unsigned code) {
    wchar_t escape[8];
    std::swprintf(escape, 8, format, code);
    text += escape;
}

std::wstring escaped(const std::wstring& text, bool quoted) {
    std::wstring result = quoted ? L"\"" : L"";
    result.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (isPairAt(text, i)) {
            result += unit;
            result += text[++i];
        } else if (quoted && (unit == L'\\' || unit == L'"')) {
            result += L'\\';
            result += unit;
        } else if (unit == L'\r' || unit == L'\n' || unit == L'\t') {
            result += unit == L'\r' ? L"\\r" : unit == L'\n' ? L"\\n" : L"\\t";
        } else if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
            appendCode(result, L"\\x%02x", unit);
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendCode(result, L"\\u%04X", unit);
        } else {
            result += unit;
        }
    }
    if (quoted)
        result += L'"';
    return result;
}

void appendUtf8(std::string& bytes, std::uint32_t code) {
    if (code < 0x80) {
        bytes += static_cast<char>(code);
    } else if (code < 0x800) {
        bytes += static_cast<char>(0xC0 | (code >> 6));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        bytes += static_cast<char>(0xE0 | (code >> 12));
        bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (code >> 18));
        bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One code point from bytes at index (advanced past it); U+FFFD for a malformed sequence.
std::uint32_t nextCodePoint(const std::string& bytes, std::size_t& index) {
    const unsigned char lead = static_cast<unsigned char>(bytes[index++]);
    const int extra = lead < 0x80                   ? 0
                      : lead >= 0xF0 && lead < 0xF5 ? 3
                      : lead >= 0xE0                ? 2
                      : lead >= 0xC2 && lead < 0xE0 ? 1
                                                    : -1;
    if (extra < 0)
        return 0xFFFD;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if (index >= bytes.size() || (static_cast<unsigned char>(bytes[index]) & 0xC0) != 0x80)
            return 0xFFFD;
        code = (code << 6) | (static_cast<unsigned char>(bytes[index++]) & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    return code < smallest[extra] || code > 0x10FFFF ? 0xFFFD : code;
}

} // namespace

handleOutput::handleOutput(HANDLE handle) : m_handle(handle), m_console(isConsole(handle)) {}

void handleOutput::write(const std::wstring& text) {
    if (m_failure != ERROR_SUCCESS || text.empty())
        return;
    if (m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE)
        m_failure = ERROR_INVALID_HANDLE;
    else if (m_console)
        m_failure = writeConsole(m_handle, text);
    else
        m_failure = writeAll(m_handle, toUtf8(withCrLf(text)));
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX / 4))
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string toLosslessUtf8(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isPairAt(text, i)) {
            const std::uint32_t high = text[i] - 0xD800u;
            const std::uint32_t low = text[++i] - 0xDC00u;
            appendUtf8(bytes, 0x10000 + (high << 10) + low);
        } else {
            appendUtf8(bytes, text[i]);
        }
    }
    return bytes;
}

std::wstring fromLosslessUtf8(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const std::uint32_t code = nextCodePoint(text, index);
        if (code >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
    }
    return wide;
}

bool isWellFormed(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isPairAt(text, i))
            ++i;
        else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i]))
            return false;
    }
    return true;
}

std::wstring printable(const std::wstring& text) {
    return escaped(text, false);
}

std::wstring quotedPrintable(const std::wstring& text) {
    return escaped(text, true);
}
