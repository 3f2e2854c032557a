// The record store: names, records, comparison and export.
#include "settings/readWriteSettingsToFile.h"

#include "settings/widenedBytes.h"
#include "support/stubString.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>

namespace {

// -1, 0 or +1 for a counted name against a zero-terminated one, code unit by code unit.
int compareCounted(const std::wstring& left, const wchar_t* right) {
    const wchar_t* r = right != nullptr ? right : L"";
    for (std::size_t i = 0; i < left.size(); ++i, ++r) {
        if (*r == L'\0')
            return 1;
        if (left[i] != *r)
            return left[i] < *r ? -1 : 1;
    }
    return *r == L'\0' ? 0 : -1;
}

// The destructor's save has no caller to tell: its failure goes to the debugger output, with the
// file and the system's code and text. Never throws: it runs in a destructor.
void reportFailedSaveAtDestruction(const wchar_t* path, DWORD error) {
    wchar_t reason[512] = L"";
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, reason, static_cast<DWORD>(std::size(reason)), nullptr);
    // The system's text ends in its own line end.
    std::size_t end = length < std::size(reason) ? length : 0;
    while (end > 0 && (reason[end - 1] == L'\r' || reason[end - 1] == L'\n'))
        --end;
    reason[end] = L'\0';
    wchar_t code[16];
    ::_snwprintf_s(code, std::size(code), _TRUNCATE, L"%lu", static_cast<unsigned long>(error));
    try {
        std::wstring line = L"readWriteSettingsToFile: the settings were not saved to ";
        line.append(path).append(L": error ").append(code);
        if (reason[0] != L'\0')
            line.append(L" (").append(reason).append(L")");
        line.append(L"\r\n");
        ::OutputDebugStringW(line.c_str());
    } catch (const std::bad_alloc&) {
        ::OutputDebugStringW(L"readWriteSettingsToFile: the settings were not saved\r\n");
    }
}

} // namespace

bool recordNameOrder::operator()(const std::wstring& left, const wchar_t* right) const {
    return compareCounted(left, right) < 0;
}

bool recordNameOrder::operator()(const wchar_t* left, const std::wstring& right) const {
    return compareCounted(right, left) > 0;
}

readWriteSettingsToFile::readWriteSettingsToFile() = default;

readWriteSettingsToFile::~readWriteSettingsToFile() {
    // This class's own save: a derived class is already gone.
    if (fileName && !readWriteSettingsToFile::flush())
        reportFailedSaveAtDestruction(fileName.get(), ::GetLastError());
    clear();
}

int readWriteSettingsToFile::setFileName(const wchar_t* name) {
    forgetRefusal(name);
    fileName.reset();
    if (name == nullptr)
        return 1;
    const std::size_t length = std::wcslen(name);
    fileName.reset(new (std::nothrow) wchar_t[length + 1]);
    if (!fileName)
        return 0;
    std::wmemcpy(fileName.get(), name, length + 1);
    return 1;
}

int readWriteSettingsToFile::setFileName(const char* name) {
    fileName.reset();
    if (name == nullptr)
        return setFileName(static_cast<const wchar_t*>(nullptr));
    const widenedBytes wide(name);
    return wide.get() != nullptr ? setFileName(wide.get()) : 0;
}

void readWriteSettingsToFile::clear() {
    records.clear();
}

settingRecord* readWriteSettingsToFile::findRecord(const wchar_t* name) const {
    if (name == nullptr)
        return nullptr;
    const auto found = records.find(name);
    return found != records.end() ? found->second.get() : nullptr;
}

settingRecord* readWriteSettingsToFile::setRecord(const wchar_t* name, DWORD valueType,
                                                  DWORD valueSize, const void* value) {
    if (name == nullptr || value == nullptr || valueSize == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (settingRecord* existing = findRecord(name))
        return existing->set(name, valueType, valueSize, value) ? existing : nullptr;
    std::unique_ptr<settingRecord, recordDeleter> record(new settingRecord);
    if (!record || !record->set(name, valueType, valueSize, value)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        settingRecord* stored = record.get();
        records.emplace(name, std::move(record));
        return stored;
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

settingRecord* readWriteSettingsToFile::setRecord(const char* name, DWORD valueType,
                                                  DWORD valueSize, const void* value) {
    if (name == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        const stubString wide(name);
        return setRecord(static_cast<const wchar_t*>(wide), valueType, valueSize, value);
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

int readWriteSettingsToFile::removeRecord(const wchar_t* name) {
    if (name == nullptr)
        return 1;
    const auto found = records.find(name);
    if (found != records.end())
        records.erase(found);
    return 1;
}

int readWriteSettingsToFile::compare(const readWriteSettingsToFile& other) const {
    if (records.size() != other.records.size()) {
        const auto difference =
            static_cast<long long>(records.size()) - static_cast<long long>(other.records.size());
        return difference > INT_MAX ? INT_MAX : difference < INT_MIN ? INT_MIN : int(difference);
    }
    for (const auto& [name, record] : records) {
        if (record->getName() == nullptr)
            return -1;
        const settingRecord* match = other.findRecord(record->getName());
        if (match == nullptr)
            return -1;
        const int result = record->compare(*match);
        if (result != 0)
            return result;
    }
    return 0;
}

int readWriteSettingsToFile::exportToRegistry(HKEY key) const {
    int result = 1;
    for (const auto& [name, record] : records)
        if (::RegSetValueExW(key, record->getName(), 0, record->getType(), record->getValue(),
                             record->getSize()) != ERROR_SUCCESS)
            result = 0;
    return result;
}

int readWriteSettingsToFile::flush() {
    return fileName ? save(fileName.get()) : 1;
}

int readWriteSettingsToFile::collectNames(const wchar_t*, stubStringMap&) {
    return 0;
}
