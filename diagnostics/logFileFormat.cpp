// Hexadecimal and decimal formatting into caller buffers.
#include "diagnostics/logFile.h"

#include <charconv>

namespace {

template <typename Char> Char* copyText(Char* out, const Char* text) {
    if (text != nullptr)
        while (*text != Char{})
            *out++ = *text++;
    return out;
}

template <typename Char, typename Value>
void formatHexInto(Value value, Char* buffer, const Char* prefix, const Char* suffix) {
    if (buffer == nullptr)
        return;
    Char* out = copyText(buffer, prefix);
    *out++ = Char('0');
    *out++ = Char('x');
    constexpr int digitCount = static_cast<int>(sizeof(Value) * 2);
    for (int i = digitCount - 1; i >= 0; --i)
        *out++ = Char("0123456789abcdef"[(value >> (i * 4)) & 0xF]);
    out = copyText(out, suffix);
    *out = Char{};
}

template <typename Char>
void formatDecimalInto(unsigned value, Char* buffer, const Char* prefix, const Char* suffix) {
    if (buffer == nullptr)
        return;
    char digits[16]{};
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof(digits), value);
    Char* out = copyText(buffer, prefix);
    for (const char* digit = digits; digit != end.ptr; ++digit)
        *out++ = Char(*digit);
    out = copyText(out, suffix);
    *out = Char{};
}

} // namespace

void logFile::formatHex(BYTE value, char* buffer, const char* prefix, const char* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(WORD value, char* buffer, const char* prefix, const char* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(DWORD value, char* buffer, const char* prefix, const char* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(unsigned __int64 value, char* buffer, const char* prefix,
                        const char* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(BYTE value, wchar_t* buffer, const wchar_t* prefix, const wchar_t* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(WORD value, wchar_t* buffer, const wchar_t* prefix, const wchar_t* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(DWORD value, wchar_t* buffer, const wchar_t* prefix,
                        const wchar_t* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatHex(unsigned __int64 value, wchar_t* buffer, const wchar_t* prefix,
                        const wchar_t* suffix) {
    formatHexInto(value, buffer, prefix, suffix);
}

void logFile::formatDecimal(unsigned value, char* buffer, const char* prefix, const char* suffix) {
    formatDecimalInto(value, buffer, prefix, suffix);
}

void logFile::formatDecimal(unsigned value, wchar_t* buffer, const wchar_t* prefix,
                            const wchar_t* suffix) {
    formatDecimalInto(value, buffer, prefix, suffix);
}
