#include "settings/readWriteSettingsToFile.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

const auto n32 = littleEndian32;

// A name of any 16-bit units but zero, mostly letters.
std::wstring randomName(std::mt19937& random) {
    std::wstring name(random() % 12, L'\0');
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(random() % 4 == 0 ? 1 + random() % 0xFFFF : L'A' + random() % 58);
    return name;
}

// Stores a random value of any width or a text under name, and what the file must hold for it.
recordModel storeRandomValue(std::mt19937& random, readWriteSettings& store,
                             const std::wstring& name) {
    const std::uint64_t bits = (std::uint64_t{random()} << 32) | random();
    const std::string bytes(reinterpret_cast<const char*>(&bits), 8);
    const wchar_t* n = name.c_str();
    switch (random() % 5) {
    case 0:
        store.writeChar(nullptr, n, static_cast<char>(bits));
        return {name, REG_DWORD, bytes.substr(0, 1)};
    case 1:
        store.writeWord(nullptr, n, static_cast<short>(bits));
        return {name, REG_DWORD, bytes.substr(0, 2)};
    case 2:
        store.writeDword(nullptr, n, static_cast<DWORD>(bits));
        return {name, REG_DWORD, bytes.substr(0, 4)};
    case 3:
        store.writeUInt64(nullptr, n, bits);
        return {name, REG_DWORD, bytes};
    default: {
        const std::wstring text = randomName(random);
        store.writeCString(nullptr, n, CString(text.c_str()));
        return {name, REG_SZ,
                std::string(reinterpret_cast<const char*>(text.c_str()), 2 * (text.size() + 1))};
    }
    }
}

class settingsFileStore : public ::testing::Test {
protected:
    std::wstring path() const { return folder / L"settings.bin"; }
    tempFolder folder;
    readWriteSettingsToFile store;
};

} // namespace

TEST_F(settingsFileStore, imagesAreExactlyTheLayout) {
    EXPECT_EQ(n32(0), storeImage(store));
    ASSERT_EQ(1, store.writeDword(nullptr, L"a", 5));
    ASSERT_EQ(1, store.save(path().c_str()));
    EXPECT_EQ(std::string("\1\0\0\0\4\0\0\0a\0\0\0\4\0\0\0\4\0\0\0\5\0\0\0", 24),
              readWholeFile(path()));

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
        std::map<std::wstring, recordModel> model; // ordered as std::wstring orders
        for (int i = random() % 12; i > 0; --i) {
            const std::wstring name = randomName(random);
            model[name] = storeRandomValue(random, written, name);
        }
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
    const recordModel one{L"one", 4, n32(1)};
    const std::string two = encodeImage({one, {L"two", 4, n32(2)}}).substr(4);
    const std::string empty = n32(2) + std::string(2, '\0');
    const struct {
        const char* what;
        std::string image;
        int result;
        std::size_t records;
    } rows[] = {
        {"three bytes", std::string(3, '\0'), 0, 0},
        {"empty store", n32(0), 1, 0},
        {"count larger than the records", n32(3) + two, 1, 2},
        {"count of four billion", n32(0xFFFFFFFF) + two, 1, 2},
        {"same name twice: the later wins", encodeImage({one, {L"one", 4, n32(7)}}), 1, 1},
        {"name size 0", n32(3) + two + n32(0), 1, 2},
        {"odd name size", n32(3) + two + n32(3) + std::string("x\0\0", 3), 1, 2},
        {"name without its zero", n32(3) + two + n32(2) + "xy" + n32(4) + n32(1) + "z", 1, 2},
        {"name size past the end", n32(3) + two + n32(0xFFFFFFF0) + std::string("a\0", 2), 1, 2},
        {"value size past the end", n32(3) + two + empty + n32(4) + n32(0x7FFFFFFF) + "ab", 1, 2},
        {"value size 0", n32(3) + two + empty + n32(4) + n32(0), 1, 2},
    };
    for (const auto& r : rows) {
        ASSERT_EQ(1, store.writeDword(nullptr, L"stale", 1));
        EXPECT_EQ(r.result, loadImage(store, r.image)) << r.what;
        EXPECT_EQ(r.records, store.getRecordCount()) << r.what;
        EXPECT_EQ(nullptr, store.findRecord(L"stale")) << r.what;
    }
    DWORD value = 0;
    EXPECT_TRUE(store.readDword(L"one", value) && value == 1);
    EXPECT_EQ(0, store.load(path().c_str())); // missing
}

TEST_F(settingsFileStore, aFileThatCouldNotBeReadWholeIsKeptBeforeItIsOverwritten) {
    const std::wstring backup = path() + L".bak";
    const std::string damaged = n32(2) + encodeImage({{L"kept", 4, n32(1)}}).substr(4) + n32(7);
    const struct {
        const char* what;
        std::string onDisk; // null: no file
        bool keeps;
    } rows[] = {
        {"damaged record", damaged, true},
        {"bytes after the last record", encodeImage({{L"a", 4, n32(1)}}) + "x", true},
        {"no count", "ab", true},
        {"complete", encodeImage({{L"a", 4, n32(1)}}), false},
        {"missing", "", false},
    };
    for (const auto& r : rows) {
        ::DeleteFileW(backup.c_str());
        ::DeleteFileW(path().c_str());
        if (!r.onDisk.empty())
            writeWholeFile(path(), r.onDisk);
        readWriteSettingsToFile loaded;
        loaded.load(path().c_str());
        ASSERT_EQ(1, loaded.save(path().c_str())) << r.what;
        EXPECT_EQ(r.keeps ? r.onDisk : "<missing>", readWholeFile(backup)) << r.what;
        writeWholeFile(backup, "older copy"); // kept once: the next save leaves it alone
        ASSERT_EQ(1, loaded.save(path().c_str()));
        EXPECT_EQ("older copy", readWholeFile(backup)) << r.what;
    }

    // A locked file is neither read nor overwritten, nor kept in place of the older copy.
    writeWholeFile(path(), damaged);
    HANDLE lock =
        ::CreateFileW(path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(0, store.load(path().c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    EXPECT_EQ(0, store.save(path().c_str()));
    ::CloseHandle(lock);
    EXPECT_EQ(0, store.save(path().c_str())) << "still unknown what the file holds";
    EXPECT_EQ(damaged, readWholeFile(path()));
    EXPECT_EQ("older copy", readWholeFile(backup));
}

TEST_F(settingsFileStore, recordsAreReplacedInPlaceAndStoresCompare) {
    ASSERT_EQ(1, store.writeDword(nullptr, L"x", 1));
    settingRecord* first = store.findRecord(L"x");
    const char bytes[] = "ab";
    EXPECT_EQ(first, store.setRecord(L"x", REG_BINARY, 3, bytes));
    EXPECT_EQ(3u, first->getSize());
    EXPECT_EQ(nullptr, store.findRecord(L"X"));
    EXPECT_EQ(1, store.removeRecord(L"unknown"));
    // Nothing is stored that the file could not carry back.
    EXPECT_EQ(nullptr, store.setRecord(L"empty", REG_BINARY, 0, bytes));
    EXPECT_EQ(nullptr, store.setRecord(L"none", REG_BINARY, 4, nullptr));
    ASSERT_NE(nullptr, store.setRecord("narrow", REG_BINARY, 1, bytes));
    EXPECT_EQ(2u, store.getRecordCount());

    readWriteSettingsToFile other;
    ASSERT_EQ(1, loadImage(other, storeImage(store)));
    EXPECT_EQ(0, other.compare(store));
    ASSERT_EQ(1, other.writeDword(nullptr, L"x", 2));
    EXPECT_NE(0, other.compare(store));
    ASSERT_EQ(1, other.writeDword(nullptr, L"y", 2));
    EXPECT_GT(other.compare(store), 0);
    EXPECT_LT(store.compare(other), 0);
}

TEST_F(settingsFileStore, flushAndDestructionSaveOnlyWithAFileName) {
    EXPECT_EQ(1, store.flush());
    EXPECT_FALSE(pathExists(path()));
    {
        readWriteSettingsToFile named;
        const std::wstring wide = path();
        const std::string narrow(wide.begin(), wide.end());
        ASSERT_EQ(1, named.setFileName(narrow.c_str()));
        EXPECT_EQ(path(), named.getFileName());
        ASSERT_EQ(1, named.flush());
        EXPECT_EQ(n32(0), readWholeFile(path()));
        ASSERT_EQ(1, named.writeInt(nullptr, L"n", 3));
    }
    EXPECT_EQ(encodeImage({{L"n", 4, n32(3)}}), readWholeFile(path()));
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
    // One value the registry refuses (its name is too long) makes the result 0; the walk goes on.
    ASSERT_EQ(1, store.writeDword(nullptr, std::wstring(17000, L'n').c_str(), 1));
    ASSERT_EQ(1, store.writeCString(nullptr, L"text", CString(L"hi")));
    EXPECT_EQ(0, store.exportToRegistry(key.get()));
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
}
