// Seeded fuzzing of the settings-file parser from memory. Longer runs:
//   LOGSMITH_FUZZ_CASES=1000000 LOGSMITH_FUZZ_SEED=7 settings_tests --gtest_filter=*Fuzz*
#include "settings/fileBuffer.h"
#include "settings/readWriteSettingsToFile.h"

#include "tests/settings/allocationWatch.h"
#include "tests/settings/settingsFileTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

unsigned long long environmentNumber(const wchar_t* name, unsigned long long fallback) {
    wchar_t text[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, text, 32);
    if (length == 0 || length >= 32)
        return fallback;
    return std::wcstoull(text, nullptr, 10);
}

struct validImage {
    std::string bytes;
    // Offsets of every record's name size and value size fields.
    std::vector<std::size_t> sizeFields;
};

validImage makeValidImage(std::mt19937& random) {
    std::vector<recordModel> records;
    const int count = static_cast<int>(random() % 7);
    for (int i = 0; i < count; ++i) {
        recordModel r;
        r.name.resize(random() % 6);
        for (wchar_t& c : r.name)
            c = static_cast<wchar_t>(random() % 3 == 0 ? 1 + random() % 0xFFFF
                                                       : L'a' + random() % 3);
        const std::uint32_t types[] = {1, 4, 4, 3, static_cast<std::uint32_t>(random())};
        r.type = types[random() % 5];
        r.value.resize(1 + random() % 24);
        for (char& b : r.value)
            b = static_cast<char>(random());
        records.push_back(r);
    }
    validImage image{encodeImage(records), {}};
    std::size_t at = 4;
    for (const recordModel& r : records) {
        const std::size_t nameBytes = 2 * (r.name.size() + 1);
        image.sizeFields.push_back(at);
        image.sizeFields.push_back(at + 4 + nameBytes + 4);
        at += 12 + nameBytes + r.value.size();
    }
    return image;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    if (at + 4 <= bytes.size())
        bytes.replace(at, 4, littleEndian32(value));
}

void mutate(std::mt19937& random, validImage& image) {
    std::string& bytes = image.bytes;
    const int mutations = 1 + static_cast<int>(random() % 3);
    for (int m = 0; m < mutations; ++m) {
        const std::size_t field =
            image.sizeFields.empty() ? 0 : image.sizeFields[random() % image.sizeFields.size()];
        const std::uint32_t remaining =
            field + 4 <= bytes.size() ? static_cast<std::uint32_t>(bytes.size() - field - 4) : 0;
        switch (random() % 6) {
        case 0: // bit flip
            if (!bytes.empty())
                bytes[random() % bytes.size()] ^= static_cast<char>(1u << (random() % 8));
            break;
        case 1: // cut
            bytes.resize(random() % (bytes.size() + 1));
            break;
        case 2: { // a size field 0, odd, huge or one past the end
            const std::uint32_t sizes[] = {0,          remaining | 1, 0xFFFFFFFF,
                                           0x80000000, remaining + 1, remaining};
            put32(bytes, field, sizes[random() % 6]);
            break;
        }
        case 3: // a huge count
            put32(bytes, 0, random() % 2 ? 0xFFFFFFFF : static_cast<std::uint32_t>(random()));
            break;
        case 4: // bytes appended
            for (int i = static_cast<int>(random() % 16); i > 0; --i)
                bytes += static_cast<char>(random());
            break;
        default: // a random 32-bit value anywhere
            if (!bytes.empty())
                put32(bytes, random() % bytes.size(), static_cast<std::uint32_t>(random()));
            break;
        }
    }
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// What a load must give, decoded straight from the layout: records up to the first one that
// cannot be read (sizes of 0 or past the end, a name of odd size or without its terminator); a
// name ends at its first zero; a later record replaces an earlier one of the same name.
struct decodedImage {
    bool counted = false;
    bool complete = false;
    std::map<std::wstring, recordModel> records;
};

decodedImage decodeImage(const std::string& bytes) {
    decodedImage result;
    if (bytes.size() < 4)
        return result;
    result.counted = true;
    const std::uint32_t count = get32(bytes, 0);
    std::size_t at = 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < 4)
            return result;
        const std::size_t nameBytes = get32(bytes, at);
        if (nameBytes == 0 || nameBytes % 2 != 0 || nameBytes > bytes.size() - at - 4 ||
            bytes[at + 4 + nameBytes - 1] != 0 || bytes[at + 4 + nameBytes - 2] != 0 ||
            bytes.size() - at - 4 - nameBytes < 8)
            return result;
        std::wstring name;
        for (std::size_t c = 0; c + 2 < nameBytes; c += 2)
            name += static_cast<wchar_t>(static_cast<unsigned char>(bytes[at + 4 + c]) |
                                         static_cast<unsigned char>(bytes[at + 5 + c]) << 8);
        name.resize(std::min(name.find(L'\0'), name.size()));
        const std::size_t valueAt = at + 12 + nameBytes;
        const std::size_t valueSize = get32(bytes, valueAt - 4);
        if (valueSize == 0 || valueSize > bytes.size() - valueAt)
            return result;
        result.records[name] = {name, get32(bytes, valueAt - 8), bytes.substr(valueAt, valueSize)};
        at = valueAt + valueSize;
    }
    result.complete = at == bytes.size();
    return result;
}

void fill(fileBuffer& buffer, const std::string& bytes) {
    buffer.freeData();
    if (!bytes.empty())
        buffer.writeBytes(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr);
}

} // namespace

TEST(settingsFileFuzz, damagedImagesNeverCrashOverAllocateOrSaveWhatCannotBeLoaded) {
    const unsigned long long cases = environmentNumber(L"LOGSMITH_FUZZ_CASES", 100000);
    const unsigned long long seed = environmentNumber(L"LOGSMITH_FUZZ_SEED", 20240611);
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    fileBuffer input;
    fileBuffer output;
    input.createHeap(0); // announcing a heap grows a list that would count as ours
    output.createHeap(0);
    allocationWatch watch;
    readWriteSettingsToFile store;
    readWriteSettingsToFile again;
    double worstRatio = 0;
    for (unsigned long long index = 0; index < cases; ++index) {
        validImage image = makeValidImage(random);
        mutate(random, image);
        fill(input, image.bytes);

        const long long before = watch.liveBytes();
        watch.resetPeak();
        bool complete = false;
        const int loaded = store.loadFromBuffer(input, &complete);
        const long long allocated = watch.peakBytes() - before;
        const long long bound = 8 * static_cast<long long>(image.bytes.size()) + 64;
        if (!image.bytes.empty())
            worstRatio = std::max(worstRatio, static_cast<double>(allocated) /
                                                  static_cast<double>(image.bytes.size()));

        const decodedImage expected = decodeImage(image.bytes);
        std::vector<recordModel> expectedRecords;
        for (const auto& entry : expected.records)
            expectedRecords.push_back(entry.second);

        // The store holds what the layout says and saves an image that loads back equal.
        output.freeData();
        bool againComplete = false;
        const bool ok = allocated <= bound && loaded == (expected.counted ? 1 : 0) &&
                        complete == expected.complete && store.saveToBuffer(output) == 1 &&
                        std::string(reinterpret_cast<const char*>(output.getData()),
                                    output.getSize()) == encodeImage(expectedRecords) &&
                        again.loadFromBuffer(output, &againComplete) == 1 && againComplete &&
                        again.compare(store) == 0;
        if (!ok) {
            ADD_FAILURE() << "case " << index << " of seed " << seed << ": allocated " << allocated
                          << " for " << image.bytes.size() << " bytes, loaded " << loaded
                          << ", records " << store.getRecordCount();
            break;
        }
    }
    store.clear();
    again.clear();
    EXPECT_EQ(0, watch.liveBytes());
    RecordProperty("cases", std::to_string(cases));
    RecordProperty("worstRatio", std::to_string(worstRatio));
}
