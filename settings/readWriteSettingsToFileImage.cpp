// The store's file image: the record count, then each record as settingRecord lays it out.
#include "settings/readWriteSettingsToFile.h"

#include "settings/fileBuffer.h"

#include <cstdint>
#include <cwchar>
#include <iterator>
#include <new>

int readWriteSettingsToFile::loadFromBuffer(fileBuffer& buffer, bool* complete) {
    clear();
    if (complete != nullptr)
        *complete = false;
    buffer.rewind();
    std::uint32_t count = 0;
    if (!buffer.read(count)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    // Each record comes from the bytes present, so a huge count ends at the first record that
    // is not there.
    for (std::uint32_t index = 0; index < count; ++index) {
        std::unique_ptr<settingRecord, recordDeleter> record(new settingRecord);
        if (!record) {
            clear();
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        if (!record->readFrom(buffer)) {
            if (::GetLastError() != ERROR_NOT_ENOUGH_MEMORY)
                return 1;
            clear();
            return 0;
        }
        try {
            // A saved file is in name order: each record then goes to the end without a search.
            const wchar_t* name = record->getName();
            if (records.empty() || records.key_comp()(std::prev(records.end())->first, name))
                records.emplace_hint(records.end(), name, std::move(record));
            else
                records[name] = std::move(record); // a later record of the same name wins
        } catch (const std::bad_alloc&) {
            clear();
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    if (complete != nullptr)
        *complete = buffer.tell() == buffer.getSize();
    return 1;
}

int readWriteSettingsToFile::saveToBuffer(fileBuffer& buffer) const {
    // The buffer grows by a fixed step; room for the whole image up front keeps a large store
    // from being copied over and over as it grows.
    std::uint64_t bytes = sizeof(std::uint32_t);
    for (const auto& entry : records) {
        const settingRecord& record = *entry.second;
        const std::size_t name = record.getName() != nullptr ? std::wcslen(record.getName()) : 0;
        bytes += 3 * sizeof(std::uint32_t) + (name + 1) * sizeof(wchar_t) + record.getSize();
    }
    // One byte more: a write that ends exactly at the block's end would grow it once again.
    if (records.size() > 0xFFFFFFFFu || bytes >= 0xFFFFFFFFu ||
        !buffer.reserve(static_cast<DWORD>(bytes + 1))) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(records.size());
    if (!buffer.write(count))
        return 0;
    for (const auto& entry : records)
        if (!entry.second->writeTo(buffer))
            return 0;
    return 1;
}
