// dump-settings: the records of a settings file as text, read by the store's own record parser.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include "settings/fileBuffer.h"
#include "settings/settingRecord.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Type codes of the settings file (the registry's).
constexpr DWORD stringRecord = REG_SZ;
constexpr DWORD numberRecord = REG_DWORD;

std::wstring escaped(const std::wstring& text) {
    std::wstring result = L"\"";
    for (wchar_t character : text) {
        switch (character) {
        case L'"':
            result += L"\\\"";
            break;
        case L'\\':
            result += L"\\\\";
            break;
        case L'\n':
            result += L"\\n";
            break;
        case L'\r':
            result += L"\\r";
            break;
        case L'\t':
            result += L"\\t";
            break;
        default:
            if (character < 0x20 || (character >= 0xD800 && character <= 0xDFFF)) {
                wchar_t code[8];
                std::swprintf(code, 8, L"\\u%04x", static_cast<unsigned>(character));
                result += code;
            } else {
                result += character;
            }
        }
    }
    return result + L"\"";
}

std::wstring hexBytes(const unsigned char* bytes, DWORD size) {
    std::wstring text;
    for (DWORD i = 0; i < size; ++i) {
        wchar_t byte[4];
        std::swprintf(byte, 4, L"%02x", bytes[i]);
        text += (i > 0 ? L" " : L"") + std::wstring(byte);
    }
    return text;
}

// The record's text up to its first terminator (an odd trailing byte is ignored).
std::wstring recordText(const settingRecord& record) {
    std::wstring text(record.getSize() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), record.getValue(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool isNumberWidth(DWORD size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

std::uint64_t recordNumber(const settingRecord& record) {
    std::uint64_t number = 0;
    std::memcpy(&number, record.getValue(), record.getSize());
    return number;
}

std::wstring valueText(const settingRecord& record) {
    if (record.getType() == stringRecord)
        return escaped(recordText(record));
    if (record.getType() == numberRecord && isNumberWidth(record.getSize())) {
        const std::uint64_t number = recordNumber(record);
        wchar_t hex[24];
        std::swprintf(hex, 24, L"0x%0*llx", static_cast<int>(record.getSize() * 2),
                      static_cast<unsigned long long>(number));
        return std::to_wstring(number) + L" (" + hex + L")";
    }
    return hexBytes(record.getValue(), record.getSize());
}

std::wstring typeText(DWORD type) {
    if (type == stringRecord)
        return L"string";
    if (type == numberRecord)
        return L"number";
    return L"type " + std::to_wstring(type);
}

nlohmann::json recordJson(const settingRecord& record) {
    nlohmann::json json = {
        {"name", toUtf8(record.getName())}, {"type", record.getType()}, {"size", record.getSize()}};
    if (record.getType() == stringRecord)
        json["value"] = toUtf8(recordText(record));
    else if (record.getType() == numberRecord && isNumberWidth(record.getSize()))
        json["value"] = recordNumber(record);
    else
        json["bytes"] = toUtf8(hexBytes(record.getValue(), record.getSize()));
    return json;
}

struct damage {
    DWORD offset = 0;
    std::wstring reason;
};

} // namespace

int dumpSettingsCommand(const dumpOptions& options, textOutput& out, textOutput& err) {
    fileBuffer buffer;
    if (!buffer.readFile(options.file.c_str(), nullptr)) {
        err.write(L"logsmithctl: cannot read " + options.file + L": " +
                  systemErrorText(::GetLastError()) + L"\n");
        return exitFailure;
    }
    buffer.rewind();
    nlohmann::json records = nlohmann::json::array();
    std::optional<damage> found;
    std::uint32_t count = 0;
    if (!buffer.read(count))
        found = damage{0, L"no record count (" + std::to_wstring(buffer.getSize()) +
                              L" bytes; a settings file starts with 4)"};
    for (std::uint32_t index = 0; !found && index < count; ++index) {
        const DWORD offset = buffer.tell();
        settingRecord record;
        const char* reason = nullptr;
        if (!record.readFrom(buffer, &reason)) {
            found = damage{offset, L"record " + std::to_wstring(index + 1) + L" of " +
                                       std::to_wstring(count) + L": " + fromUtf8(reason)};
            break;
        }
        if (options.json)
            records.push_back(recordJson(record));
        else
            out.write(escaped(record.getName()) + L"  " + typeText(record.getType()) + L"  " +
                      std::to_wstring(record.getSize()) + L"  " + valueText(record) + L"\n");
    }
    if (!found && !buffer.atEnd())
        found = damage{buffer.tell(), std::to_wstring(buffer.getSize() - buffer.tell()) +
                                          L" bytes after the last record the count announces"};
    if (options.json) {
        nlohmann::json json = {{"file", toUtf8(options.file)}, {"records", records}};
        if (found)
            json["damage"] = {{"offset", found->offset}, {"reason", toUtf8(found->reason)}};
        out.write(fromUtf8(json.dump(2)) + L"\n");
    }
    if (!found)
        return exitSuccess;
    err.write(L"logsmithctl: " + options.file + L" is damaged at offset " +
              std::to_wstring(found->offset) + L": " + found->reason + L"\n");
    return exitFailure;
}
