#include "tests/settings/settingsFileTesting.h"

#include "settings/fileBuffer.h"
#include "settings/readWriteSettingsToFile.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

std::string littleEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string encodeImage(std::uint32_t count, const std::vector<recordModel>& records) {
    std::string image = littleEndian32(count);
    for (const recordModel& r : records) {
        image += littleEndian32(static_cast<std::uint32_t>(2 * (r.name.size() + 1)));
        for (wchar_t c : r.name) {
            image += static_cast<char>(c & 0xFF);
            image += static_cast<char>((c >> 8) & 0xFF);
        }
        image += std::string(2, '\0');
        image += littleEndian32(r.type);
        image += littleEndian32(static_cast<std::uint32_t>(r.value.size()));
        image += r.value;
    }
    return image;
}

std::string encodeImage(const std::vector<recordModel>& records) {
    return encodeImage(static_cast<std::uint32_t>(records.size()), records);
}

std::string readWholeFile(const std::wstring& path) {
    return fileExists(path) ? readFileBytes(path) : "<missing>";
}

void writeWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    EXPECT_TRUE(
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ::CloseHandle(file);
}

bool pathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string storeImage(const readWriteSettingsToFile& store) {
    fileBuffer buffer;
    EXPECT_EQ(1, store.saveToBuffer(buffer));
    return std::string(reinterpret_cast<const char*>(buffer.getData()), buffer.getSize());
}

int loadImage(readWriteSettingsToFile& store, const std::string& image, bool* complete) {
    fileBuffer buffer;
    if (!image.empty()) {
        EXPECT_EQ(1, buffer.writeBytes(image.data(), static_cast<DWORD>(image.size()), nullptr));
    }
    return store.loadFromBuffer(buffer, complete);
}
