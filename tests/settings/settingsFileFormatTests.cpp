#include "settings/readWriteSettingsToFile.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

std::string number32(std::uint32_t value) {
    return littleEndian32(value);
}

// Random names use any 16-bit unit but zero; values every width and text.
std::wstring randomName(std::mt19937& random) {
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> unit(1, 0xFFFF);
    std::uniform_int_distribution<int> ascii(L'A', L'z');
    std::wstring name(static_cast<std::size_t>(length(random)), L'\0');
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(random() % 4 == 0 ? unit(random) : ascii(random));
    return name;
}

void storeRandomValue(std::mt19937& random, readWriteSettingsToFile& store,
                      const std::wstring& name, std::map<std::wstring, recordModel>& model) {
    const std::uint64_t bits = (std::uint64_t{random()} << 32) | random();
    const wchar_t* n = name.c_str();
    std::string bytes(reinterpret_cast<const char*>(&bits), 8);
    switch (random() % 6) {
    case 0:
        ASSERT_EQ(1, store.writeChar(nullptr, n, static_cast<char>(bits)));
        bytes.resize(1);
        break;
    case 1:
        ASSERT_EQ(1, store.writeWord(nullptr, n, static_cast<short>(bits)));
        bytes.resize(2);
        break;
    case 2:
        ASSERT_EQ(1, store.writeDword(nullptr, n, static_cast<DWORD>(bits)));
        bytes.resize(4);
        break;
    case 3:
        ASSERT_EQ(1, store.writeUInt64(nullptr, n, bits));
        break;
    default: {
        const std::wstring text = randomName(random);
        ASSERT_EQ(1, store.writeCString(nullptr, n, CString(text.c_str())));
        bytes.assign(reinterpret_cast<const char*>(text.c_str()), 2 * (text.size() + 1));
        model[name] = {name, REG_SZ, bytes};
        return;
    }
    }
    model[name] = {name, REG_DWORD, bytes};
}

class settingsFileStore : public ::testing::Test {
protected:
    std::wstring path() const { return folder / L"settings.bin"; }
    tempFolder folder;
    readWriteSettingsToFile store;
};

} // namespace

TEST_F(settingsFileStore, imagesAreExactlyTheLayout) {
    EXPECT_EQ(std::string(4, '\0'), storeImage(store));

    ASSERT_EQ(1, store.writeDword(nullptr, L"a", 5));
    const std::string example("\1\0\0\0\4\0\0\0a\0\0\0\4\0\0\0\4\0\0\0\5\0\0\0", 24);
    EXPECT_EQ(example, storeImage(store));
    ASSERT_EQ(1, store.save(path().c_str()));
    EXPECT_EQ(example, readWholeFile(path()));

    // Names in code-unit order, widths and text sizes kept.
    store.clear();
    ASSERT_EQ(1, store.writeWord(nullptr, L"B", 0x0102));
    ASSERT_EQ(1, store.writeText(nullptr, L"abc", L"abc", 3));
    ASSERT_EQ(1, store.writeInt64(nullptr, L"a", -2));
    ASSERT_EQ(1, store.writeUChar(nullptr, L"A", 9));
    ASSERT_EQ(1, store.writeCString(nullptr, L"ab", CString(L"")));
    EXPECT_EQ(encodeImage({{L"A", 4, "\x09"},
                           {L"B", 4, "\x02\x01"},
                           {L"a", 4, std::string("\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8)},
                           {L"ab", 1, std::string(2, '\0')},
                           {L"abc", 1, std::string("a\0b\0c\0\0\0", 8)}}),
              storeImage(store));
}

TEST_F(settingsFileStore, seededRandomStoresSaveAsTheLayoutAndLoadBackEqual) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        readWriteSettingsToFile written;
        std::map<std::wstring, recordModel> model;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i)
            storeRandomValue(random, written, randomName(random), model);
        std::vector<recordModel> ordered;
        for (const auto& entry : model)
            ordered.push_back(entry.second);
        const std::string image = storeImage(written);
        ASSERT_EQ(encodeImage(ordered), image) << "round " << round;

        readWriteSettingsToFile loaded;
        bool complete = false;
        ASSERT_EQ(1, loadImage(loaded, image, &complete));
        EXPECT_TRUE(complete);
        EXPECT_EQ(0, loaded.compare(written)) << "round " << round;
    }
}

TEST_F(settingsFileStore, loadKeepsTheRecordsBeforeTheFirstThatCannotBeRead) {
    const recordModel one{L"one", 4, number32(1)};
    const recordModel two{L"two", 4, number32(2)};
    const std::string goodPair = encodeImage({one, two}).substr(4);
    const std::string nameSize0 = number32(0);
    struct row {
        const char* what;
        std::string image;
        int result;
        std::size_t records;
    } const rows[] = {
        {"three bytes", std::string(3, '\0'), 0, 0},
        {"empty store", number32(0), 1, 0},
        {"count larger than the records", number32(3) + goodPair, 1, 2},
        {"count of four billion", number32(0xFFFFFFFF) + goodPair, 1, 2},
        {"same name twice: the later wins", encodeImage({one, {L"one", 4, number32(7)}}), 1, 1},
        {"name size 0", number32(3) + goodPair + nameSize0, 1, 2},
        {"odd name size", number32(3) + goodPair + number32(3) + "x\0\0", 1, 2},
        {"name without a terminator",
         number32(3) + goodPair + number32(2) + "xy" + number32(4) + number32(1) + "z", 1, 2},
        {"name size past the end", number32(3) + goodPair + number32(0xFFFFFFF0) + "a\0", 1, 2},
        {"value size past the end",
         number32(3) + goodPair + number32(2) + std::string(2, '\0') + number32(4) +
             number32(0x7FFFFFFF) + "abcd",
         1, 2},
        {"value size 0",
         number32(3) + goodPair + number32(2) + std::string(2, '\0') + number32(4) + number32(0), 1,
         2},
    };
    for (const row& r : rows) {
        ASSERT_EQ(1, store.writeDword(nullptr, L"stale", 1));
        EXPECT_EQ(r.result, loadImage(store, r.image)) << r.what;
        EXPECT_EQ(r.records, store.getRecordCount()) << r.what;
        EXPECT_EQ(nullptr, store.findRecord(L"stale")) << r.what;
    }
    DWORD value = 0;
    EXPECT_EQ(1, store.readDword(L"one", value));
    EXPECT_EQ(1u, value);
}

TEST_F(settingsFileStore, aFileThatCouldNotBeReadWholeIsKeptBeforeItIsOverwritten) {
    const std::wstring backup = path() + L".bak";
    const std::string damaged =
        number32(2) + encodeImage({{L"kept", 4, number32(1)}}).substr(4) + number32(7) + "garbage";
    struct row {
        const char* what;
        std::string onDisk;
        bool keeps;
    } const rows[] = {
        {"damaged record", damaged, true},
        {"bytes after the last record", encodeImage({{L"a", 4, number32(1)}}) + "x", true},
        {"no count", "ab", true},
        {"complete", encodeImage({{L"a", 4, number32(1)}}), false},
    };
    for (const row& r : rows) {
        ::DeleteFileW(backup.c_str());
        writeWholeFile(path(), r.onDisk);
        readWriteSettingsToFile loaded;
        loaded.load(path().c_str());
        ASSERT_EQ(1, loaded.writeDword(nullptr, L"new", 2));
        ASSERT_EQ(1, loaded.save(path().c_str())) << r.what;
        EXPECT_EQ(r.keeps ? r.onDisk : "<missing>", readWholeFile(backup)) << r.what;
        // Kept once: the next save replaces the file without touching the copy.
        writeWholeFile(backup, "older copy");
        ASSERT_EQ(1, loaded.save(path().c_str()));
        EXPECT_EQ("older copy", readWholeFile(backup)) << r.what;
    }

    // A missing file keeps nothing; a locked one is neither read nor overwritten.
    ::DeleteFileW(backup.c_str());
    ::DeleteFileW(path().c_str());
    EXPECT_EQ(0, store.load(path().c_str()));
    ASSERT_EQ(1, store.save(path().c_str()));
    EXPECT_FALSE(pathExists(backup));

    writeWholeFile(path(), damaged);
    HANDLE lock = ::CreateFileW(path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(0, store.load(path().c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    EXPECT_EQ(0, store.save(path().c_str()));
    ::CloseHandle(lock);
    EXPECT_EQ(damaged, readWholeFile(path()));
    ASSERT_EQ(1, store.save(path().c_str()));
    EXPECT_EQ(damaged, readWholeFile(backup));
}

TEST_F(settingsFileStore, recordOperations) {
    EXPECT_EQ(0, store.load(path().c_str())); // missing
    ASSERT_EQ(1, store.writeDword(nullptr, L"x", 1));
    settingRecord* first = store.findRecord(L"x");
    ASSERT_NE(nullptr, first);
    const char bytes[] = "ab";
    EXPECT_EQ(first, store.setRecord(L"x", REG_BINARY, 3, bytes)); // replaced in place
    EXPECT_EQ(3u, first->getSize());
    EXPECT_EQ(std::string(bytes, 3),
              std::string(reinterpret_cast<const char*>(first->getValue()), 3));
    EXPECT_EQ(1u, store.getRecordCount());
    EXPECT_EQ(nullptr, store.findRecord(L"X"));
    EXPECT_EQ(1, store.removeRecord(L"unknown"));
    // Nothing is stored that the file could not carry back.
    EXPECT_EQ(nullptr, store.setRecord(L"empty", REG_BINARY, 0, bytes));
    EXPECT_EQ(nullptr, store.setRecord(L"none", REG_BINARY, 4, nullptr));
    EXPECT_EQ(nullptr, store.setRecord(static_cast<const wchar_t*>(nullptr), 4, 1, bytes));
    ASSERT_NE(nullptr, store.setRecord("narrow", REG_BINARY, 1, bytes));
    EXPECT_NE(nullptr, store.findRecord(L"narrow"));

    ASSERT_EQ(1, store.save(path().c_str()));
    readWriteSettingsToFile other;
    ASSERT_EQ(1, other.load(path().c_str()));
    EXPECT_EQ(0, other.compare(store));
    ASSERT_EQ(1, other.writeDword(nullptr, L"x", 2));
    EXPECT_NE(0, other.compare(store));
    ASSERT_EQ(1, other.writeDword(nullptr, L"y", 2));
    EXPECT_GT(other.compare(store), 0);
    EXPECT_LT(store.compare(other), 0);
    EXPECT_EQ(1, store.removeRecord(L"x"));
    EXPECT_EQ(nullptr, store.findRecord(L"x"));
}

TEST_F(settingsFileStore, flushAndDestructionSaveOnlyWithAFileName) {
    EXPECT_EQ(1, store.flush());
    EXPECT_FALSE(pathExists(path()));
    {
        readWriteSettingsToFile named;
        ASSERT_EQ(1, named.setFileName(path().c_str()));
        ASSERT_EQ(1, named.flush());
        EXPECT_EQ(number32(0), readWholeFile(path()));
        ASSERT_EQ(1, named.writeInt(nullptr, L"n", 3));
    }
    EXPECT_EQ(encodeImage({{L"n", 4, number32(3)}}), readWholeFile(path()));

    const std::string narrowFolder(folder.path().begin(), folder.path().end());
    ASSERT_EQ(1, store.setFileName((narrowFolder + "\\n\xE9.bin").c_str()));
    EXPECT_STREQ((folder / L"n\x00E9.bin").c_str(), store.getFileName());
    ASSERT_EQ(1, store.setFileName(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(nullptr, store.getFileName());
}

class settingsFileExport : public scratchRegistry {};

TEST_F(settingsFileExport, recordsArriveWithTypeAndBytesUnchanged) {
    readWriteSettingsToFile store;
    uniqueHkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Export", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
    EXPECT_EQ(1, store.exportToRegistry(key.get()));
    ASSERT_EQ(1, store.writeWord(nullptr, L"word", 0x0102));
    ASSERT_EQ(1, store.writeInt64(nullptr, L"wide", 5));
    ASSERT_EQ(1, store.writeCString(nullptr, L"text", CString(L"hi")));
    EXPECT_EQ(1, store.exportToRegistry(key.get()));
    const struct {
        const wchar_t* name;
        DWORD type;
        std::vector<BYTE> bytes;
    } expected[] = {
        {L"word", REG_DWORD, {2, 1}},
        {L"wide", REG_DWORD, {5, 0, 0, 0, 0, 0, 0, 0}},
        {L"text", REG_SZ, {'h', 0, 'i', 0, 0, 0}},
    };
    for (const auto& e : expected) {
        const rawRegistryValue value = readRawValue(HKEY_CURRENT_USER, L"Software\\Export", e.name);
        EXPECT_EQ(e.type, value.type) << e.name;
        EXPECT_EQ(e.bytes, value.bytes) << e.name;
    }

    // One failing value makes the result 0, the others are still written.
    ASSERT_EQ(1, store.writeCString(nullptr, std::wstring(17000, L'n').c_str(), CString(L"x")));
    ASSERT_EQ(1, store.writeDword(nullptr, L"zzz", 1));
    EXPECT_EQ(0, store.exportToRegistry(key.get()));
    EXPECT_EQ(ERROR_SUCCESS, readRawValue(HKEY_CURRENT_USER, L"Software\\Export", L"zzz").status);
}
