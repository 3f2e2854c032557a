#pragma once
// Helpers shared by the settings-file tests: an encoder written from the file layout alone, and
// whole-file reads and writes that bypass the code under test.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class fileBuffer;
class readWriteSettingsToFile;

struct recordModel {
    std::wstring name;
    std::uint32_t type;
    std::string value;
};

// Count, then each record as given: name size, name and zero, type, value size, value.
std::string encodeImage(const std::vector<recordModel>& records);
// The same with an explicit count, for images that lie about it.
std::string encodeImage(std::uint32_t count, const std::vector<recordModel>& records);
std::string littleEndian32(std::uint32_t value);

std::string readWholeFile(const std::wstring& path);
void writeWholeFile(const std::wstring& path, const std::string& bytes);
bool pathExists(const std::wstring& path);

// The image that saveToBuffer builds.
std::string storeImage(const readWriteSettingsToFile& store);
// Loads an image from memory; the result of loadFromBuffer.
int loadImage(readWriteSettingsToFile& store, const std::string& image, bool* complete = nullptr);
