// Scalar and string settings as records: numbers in their type's width under REG_DWORD, text
// under REG_SZ with its terminating zero.
#include "settings/readWriteSettingsToFile.h"

#include "settings/widenedBytes.h"
#include "support/stubString.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

int readWriteSettingsToFile::readNumber(const wchar_t* valueName, void* value, DWORD width) const {
    const settingRecord* record = findRecord(valueName);
    // Widths never convert: a value is read back only in the width it was written with.
    if (record == nullptr || record->getType() != REG_DWORD || record->getSize() != width)
        return 0;
    std::memcpy(value, record->getValue(), width);
    return 1;
}

int readWriteSettingsToFile::writeNumber(const wchar_t* valueName, const void* value, DWORD width) {
    return setRecord(valueName, REG_DWORD, width, value) != nullptr ? 1 : 0;
}

const settingRecord* readWriteSettingsToFile::findText(const wchar_t* valueName,
                                                       std::size_t& length) const {
    const settingRecord* record = findRecord(valueName);
    if (record == nullptr || record->getType() != REG_SZ)
        return nullptr;
    // The text ends at its first zero or at the record's end (an odd last byte is no
    // character), whichever comes first.
    const auto* text = reinterpret_cast<const wchar_t*>(record->getValue());
    const std::size_t characters = record->getSize() / sizeof(wchar_t);
    length = 0;
    while (length < characters && text[length] != L'\0')
        ++length;
    return record;
}

int readWriteSettingsToFile::writeTextRecord(const wchar_t* valueName, const wchar_t* text,
                                             std::size_t characters) {
    if (text == nullptr || characters > 0x7FFFFFFEu)
        return 0;
    const DWORD bytes = static_cast<DWORD>((characters + 1) * sizeof(wchar_t));
    return setRecord(valueName, REG_SZ, bytes, text) != nullptr ? 1 : 0;
}

namespace {

const wchar_t* textOf(const settingRecord* record) {
    return reinterpret_cast<const wchar_t*>(record->getValue());
}

} // namespace

int readWriteSettingsToFile::readWord(const wchar_t* valueName, short& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readString(const wchar_t* valueName, stubString& value) {
    std::size_t length = 0;
    const settingRecord* record = findText(valueName, length);
    if (record == nullptr)
        return 0;
    try {
        value = std::wstring(textOf(record), length).c_str();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int readWriteSettingsToFile::readStringA(const char* valueName, stubString& value) {
    if (valueName == nullptr)
        return 0;
    try {
        const stubString wide(valueName);
        return readString(wide, value);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int readWriteSettingsToFile::readBinary64(const wchar_t* valueName, ULARGE_INTEGER& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readCString(const wchar_t* valueName, CString& value) {
    std::size_t length = 0;
    const settingRecord* record = findText(valueName, length);
    if (record == nullptr)
        return 0;
    try {
        value = CString(textOf(record), static_cast<int>(length));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int readWriteSettingsToFile::readInt64(const wchar_t* valueName, std::int64_t& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readUInt64(const wchar_t* valueName, std::uint64_t& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readDword(const wchar_t* valueName, DWORD& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readDouble(const wchar_t* valueName, double& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readUInt(const wchar_t* valueName, unsigned int& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readInt(const wchar_t* valueName, int& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readWideChar(const wchar_t* valueName, wchar_t& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readUChar(const wchar_t* valueName, unsigned char& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readChar(const wchar_t* valueName, char& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::readTextA(const char* valueName, char* buffer, int capacity) {
    const widenedBytes name(valueName);
    std::size_t length = 0;
    const settingRecord* record = findText(name.get(), length);
    if (record == nullptr)
        return 0;
    if (capacity <= 0)
        return 1;
    if (buffer == nullptr)
        return 0;
    // Cut to leave room for the terminator.
    const std::size_t copied = std::min(length, static_cast<std::size_t>(capacity) - 1);
    const wchar_t* text = textOf(record);
    for (std::size_t i = 0; i < copied; ++i)
        buffer[i] = static_cast<char>(text[i] & 0xFF);
    buffer[copied] = '\0';
    return 1;
}

int readWriteSettingsToFile::readText(const wchar_t* valueName, wchar_t* buffer, int capacity) {
    std::size_t length = 0;
    const settingRecord* record = findText(valueName, length);
    if (record == nullptr)
        return 0;
    if (capacity <= 0)
        return 1;
    if (buffer == nullptr)
        return 0;
    // As wcsncpy: a short text is padded with zeros, a long one is cut without a terminator.
    const std::size_t room = static_cast<std::size_t>(capacity);
    const std::size_t copied = std::min(length, room);
    std::wmemcpy(buffer, textOf(record), copied);
    std::wmemset(buffer + copied, L'\0', room - copied);
    return 1;
}

int readWriteSettingsToFile::readTime(const wchar_t* valueName, time_t& value) {
    return readNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeString(const wchar_t*, const wchar_t* valueName,
                                         const stubString& value) {
    return writeTextRecord(valueName, value, static_cast<std::size_t>(value.GetLength()));
}

int readWriteSettingsToFile::writeStringA(const wchar_t*, const char* valueName,
                                          const stubString& value) {
    if (valueName == nullptr)
        return 0;
    try {
        const stubString wide(valueName);
        return writeTextRecord(wide, value, static_cast<std::size_t>(value.GetLength()));
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int readWriteSettingsToFile::writeTextA(const wchar_t*, const char* valueName, const char* text) {
    const widenedBytes name(valueName);
    const widenedBytes wideText(text);
    if (name.get() == nullptr || wideText.get() == nullptr)
        return 0;
    return writeTextRecord(name.get(), wideText.get(), wideText.length());
}

int readWriteSettingsToFile::writeBinary64(const wchar_t*, const wchar_t* valueName,
                                           const ULARGE_INTEGER& value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeCString(const wchar_t*, const wchar_t* valueName,
                                          const CString& value) {
    return writeTextRecord(valueName, value, static_cast<std::size_t>(value.GetLength()));
}

int readWriteSettingsToFile::writeInt64(const wchar_t*, const wchar_t* valueName,
                                        std::int64_t value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeUInt64(const wchar_t*, const wchar_t* valueName,
                                         std::uint64_t value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeDword(const wchar_t*, const wchar_t* valueName, DWORD value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeDouble(const wchar_t*, const wchar_t* valueName, double value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeWord(const wchar_t*, const wchar_t* valueName, short value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeUInt(const wchar_t*, const wchar_t* valueName,
                                       unsigned int value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeInt(const wchar_t*, const wchar_t* valueName, int value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeWideChar(const wchar_t*, const wchar_t* valueName,
                                           wchar_t value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeUChar(const wchar_t*, const wchar_t* valueName,
                                        unsigned char value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeChar(const wchar_t*, const wchar_t* valueName, char value) {
    return writeNumber(valueName, &value, sizeof(value));
}

int readWriteSettingsToFile::writeText(const wchar_t*, const wchar_t* valueName,
                                       const wchar_t* text, int length) {
    // The record takes length characters and the one after them, which is the terminator when
    // length is the text's length.
    if (length < 0)
        return 0;
    return writeTextRecord(valueName, text, static_cast<std::size_t>(length));
}

int readWriteSettingsToFile::writeTime(const wchar_t*, const wchar_t* valueName, time_t value) {
    return writeNumber(valueName, &value, sizeof(value));
}
