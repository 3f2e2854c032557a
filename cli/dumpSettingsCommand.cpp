// dump-settings: the records of a settings file as text, read by the store's own record parser.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include "settings/fileBuffer.h"
#include "settings/settingRecord.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Type codes of the settings file (the registry's).
constexpr DWORD stringRecord = REG_SZ;
constexpr DWORD numberRecord = REG_DWORD;

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
        return quotedPrintable(recordText(record));
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

// A JSON string. UTF-8 cannot carry an unpaired surrogate: it becomes U+FFFD here, and the
// exact code units go beside the text (see codeUnitsMember).
std::wstring jsonString(const std::wstring& text) {
    std::wstring result = L"\"";
    result.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit == L'"' || unit == L'\\') {
            result += L'\\';
            result += unit;
        } else if (unit < 0x20) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(unit));
            result += escape;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            const bool pair = isWellFormed(text.substr(i, 2)) && i + 1 < text.size();
            result += pair ? text.substr(i++, 2) : std::wstring(1, L'\xFFFD');
        } else {
            result += unit;
        }
    }
    return result + L"\"";
}

// ", "<key>CodeUnits": [..]" for text that UTF-8 cannot carry exactly, else nothing.
std::wstring codeUnitsMember(const wchar_t* key, const std::wstring& text) {
    if (isWellFormed(text))
        return {};
    std::wstring member = std::wstring(L", \"") + key + L"CodeUnits\": [";
    for (std::size_t i = 0; i < text.size(); ++i)
        member += (i > 0 ? L", " : L"") + std::to_wstring(static_cast<unsigned>(text[i]));
    return member + L"]";
}

std::wstring recordJson(const settingRecord& record, const std::wstring& name) {
    std::wstring json = L"{\"name\": " + jsonString(name) + codeUnitsMember(L"name", name) +
                        L", \"type\": " + std::to_wstring(record.getType()) + L", \"size\": " +
                        std::to_wstring(record.getSize());
    if (record.getType() == stringRecord) {
        const std::wstring text = recordText(record);
        json += L", \"value\": " + jsonString(text) + codeUnitsMember(L"value", text);
    } else if (record.getType() == numberRecord && isNumberWidth(record.getSize())) {
        const std::wstring number = std::to_wstring(recordNumber(record));
        json += L", \"value\": " + number;
        // Readers that hold numbers as doubles round those above 2^53: the exact digits too.
        if (record.getSize() == 8)
            json += L", \"valueText\": \"" + number + L"\"";
    } else {
        json += L", \"bytes\": \"" + hexBytes(record.getValue(), record.getSize()) + L"\"";
    }
    return json + L"}";
}

std::wstring recordLine(const settingRecord& record, const std::wstring& name) {
    return quotedPrintable(name) + L"  " + typeText(record.getType()) + L"  " +
           std::to_wstring(record.getSize()) + L"  " + valueText(record) + L"\n";
}

// The record's whole name as stored; the parser's copy ends at the first zero. Only for a
// record the parser has read, so the size was checked.
std::wstring storedName(const fileBuffer& buffer, DWORD offset) {
    DWORD nameBytes = 0;
    std::memcpy(&nameBytes, buffer.getData() + offset, sizeof(nameBytes));
    std::wstring name(nameBytes / sizeof(wchar_t) - 1, L'\0');
    std::memcpy(name.data(), buffer.getData() + offset + sizeof(nameBytes),
                name.size() * sizeof(wchar_t));
    return name;
}

// Lines go out in batches: one write per line is slow on a large file.
class lineBatch {
public:
    explicit lineBatch(textOutput& out) : m_out(out) {}
    void add(const std::wstring& text) {
        m_text += text;
        if (m_text.size() >= 32768)
            flush();
    }
    void flush() {
        m_out.write(m_text);
        m_text.clear();
    }
    bool failed() const { return m_out.failure() != ERROR_SUCCESS; }

private:
    textOutput& m_out;
    std::wstring m_text;
};

struct damage {
    DWORD offset = 0;
    std::wstring reason;
};

// Lists the records after the count, line by line as they are read; the damage, if any.
std::optional<damage> listRecords(fileBuffer& buffer, bool json, lineBatch& lines) {
    std::uint32_t count = 0;
    if (!buffer.read(count))
        return damage{0, L"no record count (" + std::to_wstring(buffer.getSize()) +
                             L" bytes; a settings file starts with 4)"};
    for (std::uint32_t index = 0; index < count && !lines.failed(); ++index) {
        const DWORD offset = buffer.tell();
        settingRecord record;
        const char* reason = nullptr;
        if (!record.readFrom(buffer, &reason))
            return damage{offset, L"record " + std::to_wstring(index + 1) + L" of " +
                                      std::to_wstring(count) + L": " + fromUtf8(reason)};
        const std::wstring name = storedName(buffer, offset);
        if (json)
            lines.add((index > 0 ? L",\n    " : L"    ") + recordJson(record, name));
        else
            lines.add(recordLine(record, name));
    }
    if (!lines.failed() && !buffer.atEnd())
        return damage{buffer.tell(), std::to_wstring(buffer.getSize() - buffer.tell()) +
                                         L" bytes after the last record the count announces"};
    return std::nullopt;
}

} // namespace

int dumpSettingsCommand(const dumpOptions& options, textOutput& out, textOutput& err) {
    std::wstring reason;
    const uniqueFileHandle held = openFileForReading(options.file, reason);
    fileBuffer buffer;
    if (held && !buffer.readFile(options.file.c_str(), nullptr))
        reason = systemErrorText(::GetLastError());
    if (!reason.empty()) {
        err.write(L"logsmithctl: cannot read " + printable(options.file) + L": " + reason + L"\n");
        return exitFailure;
    }
    buffer.rewind();
    lineBatch lines(out);
    if (options.json)
        lines.add(L"{\n  \"file\": " + jsonString(options.file) +
                  codeUnitsMember(L"file", options.file) + L",\n  \"records\": [\n");
    const std::optional<damage> found = listRecords(buffer, options.json, lines);
    if (options.json) {
        lines.add(L"\n  ]");
        if (found)
            lines.add(L",\n  \"damage\": {\"offset\": " + std::to_wstring(found->offset) +
                      L", \"reason\": " + jsonString(found->reason) + L"}");
        lines.add(L"\n}\n");
    }
    lines.flush();
    if (!found)
        return exitSuccess;
    err.write(L"logsmithctl: " + printable(options.file) + L" is damaged at offset " +
              std::to_wstring(found->offset) + L": " + found->reason + L"\n");
    return exitFailure;
}
