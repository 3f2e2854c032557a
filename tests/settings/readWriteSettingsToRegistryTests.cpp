#include "settings/readWriteSettingsToRegistry.h"

#include "diagnostics/logFile.h"

#include "tests/settings/registryTesting.h"
#include "tests/testing/tempFolder.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include <string>

namespace {

const wchar_t* const valuesPath = registryStore::storePath;

class registrySettings : public registryStore {};

} // namespace

TEST_F(registrySettings, unboundObjectFailsEveryOperationAndTouchesNothing) {
    readWriteSettingsToRegistry unbound;
    storeText(L"name", L"stored");
    DWORD dword = 7;
    int number = 8;
    CString text = L"default";
    EXPECT_EQ(0, unbound.readDword(L"name", dword));
    EXPECT_EQ(0, unbound.readInt(L"name", number));
    EXPECT_EQ(0, unbound.readCString(L"name", text));
    EXPECT_EQ(7u, dword);
    EXPECT_EQ(8, number);
    EXPECT_STREQ(L"default", text);
    EXPECT_EQ(0, unbound.writeDword(L"C:\\trace.txt", L"new", 1));
    EXPECT_EQ(0, unbound.writeInt(nullptr, L"new", 1));
    EXPECT_EQ(0, unbound.writeCString(L"C:\\trace.txt", L"new", CString(L"x")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, raw(L"new").status);

    settings.closeKeys();
    EXPECT_EQ(nullptr, settings.getCurrentKey());
    EXPECT_EQ(0, settings.readCString(L"name", text));
    EXPECT_EQ(0, settings.writeDword(nullptr, L"new", 1));
}

TEST_F(registrySettings, fixedWidthReadsTakeOnlyTheBytesStored) {
    const DWORD four = 0x11223344;
    const WORD two = 0x5566;
    const unsigned long long eight = 0x0102030405060708ull;
    store(L"four", REG_DWORD, &four, sizeof(four));
    store(L"two", REG_DWORD, &two, sizeof(two));
    store(L"eight", REG_DWORD, &eight, sizeof(eight));

    struct {
        const wchar_t* name;
        int result;
        DWORD expected;
    } const cases[] = {
        {L"four", 1, 0x11223344},
        {L"two", 1, 0xAAAA5566},   // only the low two bytes are replaced
        {L"eight", 0, 0xAAAAAAAA}, // too long: the caller's default stays
        {L"missing", 0, 0xAAAAAAAA},
    };
    for (const auto& c : cases) {
        DWORD dword = 0xAAAAAAAA;
        EXPECT_EQ(c.result, settings.readDword(c.name, dword)) << c.name;
        EXPECT_EQ(c.expected, dword) << c.name;
        int number = static_cast<int>(0xAAAAAAAA);
        EXPECT_EQ(c.result, settings.readInt(c.name, number)) << c.name;
        EXPECT_EQ(c.expected, static_cast<DWORD>(number)) << c.name;
    }
}

TEST_F(registrySettings, stringReadsAcceptAnyLength) {
    // 260 characters fill the first 522-byte query exactly; longer ones need the second query.
    for (std::size_t length : {0u, 1u, 259u, 260u, 261u, 300u, 1024u * 1024u}) {
        const std::wstring stored(length, L'q');
        storeText(L"text", stored);
        CString text = L"default";
        ASSERT_EQ(1, settings.readCString(L"text", text)) << length;
        EXPECT_EQ(length, static_cast<std::size_t>(text.GetLength()));
        EXPECT_EQ(stored, text.str()) << length;
    }
}

TEST_F(registrySettings, stringReadsStopAtTheDataWhateverItsShape) {
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    const wchar_t embedded[] = L"ab\0cd";
    const char oddBinary[] = {'h', 0, 'i', 0, '!'};
    const std::wstring longUnterminated(400, L'z');
    const DWORD number = 0x00420041; // "AB" when taken as text
    store(L"unterminated", REG_SZ, unterminated, sizeof(unterminated));
    store(L"embedded", REG_SZ, embedded, sizeof(embedded));
    store(L"oddBinary", REG_BINARY, oddBinary, sizeof(oddBinary));
    store(L"longUnterminated", REG_BINARY, longUnterminated.data(),
          static_cast<DWORD>(longUnterminated.size() * sizeof(wchar_t)));
    store(L"number", REG_DWORD, &number, sizeof(number));

    struct {
        const wchar_t* name;
        std::wstring expected;
    } const cases[] = {
        {L"unterminated", L"abc"}, {L"embedded", L"ab"},
        {L"oddBinary", L"hi"},     {L"longUnterminated", longUnterminated},
        {L"number", L"AB"},
    };
    for (const auto& c : cases) {
        CString text = L"default";
        EXPECT_EQ(1, settings.readCString(c.name, text)) << c.name;
        EXPECT_EQ(c.expected, text.str()) << c.name;
    }

    CString text = L"default";
    EXPECT_EQ(0, settings.readCString(L"missing", text));
    EXPECT_STREQ(L"default", text);
}

TEST_F(registrySettings, writesStoreExactTypesAndByteCounts) {
    for (DWORD value : {0u, 1u, 3427u, 0xFFFFFFFFu}) {
        ASSERT_EQ(1, settings.writeDword(nullptr, L"dword", value));
        const rawRegistryValue dword = raw(L"dword");
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dword.type);
        EXPECT_EQ(4u, dword.bytes.size());
        EXPECT_EQ(value, dword.dword());
    }

    ASSERT_EQ(1, settings.writeInt(L"C:\\unused\\trace.txt", L"int", -1));
    const rawRegistryValue number = raw(L"int");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), number.type);
    EXPECT_EQ(4u, number.bytes.size());
    EXPECT_EQ(0xFFFFFFFFu, number.dword());

    for (const wchar_t* text : {L"", L"C:\\logs\\run.dmlog_x64"}) {
        ASSERT_EQ(1, settings.writeCString(nullptr, L"text", CString(text)));
        const rawRegistryValue stored = raw(L"text");
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
        EXPECT_EQ((wcslen(text) + 1) * 2, stored.bytes.size()) << "terminator included";
        EXPECT_EQ(std::wstring(text), stored.text());
        CString back = L"default";
        EXPECT_EQ(1, settings.readCString(L"text", back));
        EXPECT_STREQ(text, back);
    }
}

TEST_F(registrySettings, writeThroughReadOnlyKeyFails) {
    uniqueHkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, valuesPath, 0, KEY_READ, readOnly.put()));
    readWriteSettingsToRegistry reader;
    reader.attachKey(readOnly.get());
    EXPECT_EQ(0, reader.writeDword(nullptr, L"refused", 1));
    EXPECT_EQ(0, reader.writeCString(L"C:\\trace.txt", L"refused", CString(L"x")));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, raw(L"refused").status);
}

TEST_F(registrySettings, borrowedKeyStaysOpenAfterTheObjectIsGone) {
    {
        readWriteSettingsToRegistry borrower;
        borrower.attachKey(key.get());
        ASSERT_EQ(1, borrower.writeInt(nullptr, L"first", 1));
        borrower.closeKeys();
    }
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), L"second", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(L""), 2));
    EXPECT_EQ(ERROR_SUCCESS, raw(L"second").status);
}

namespace {
std::wstring readUtf16File(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}
} // namespace

TEST_F(registrySettings, failedWritesAreReportedIntoTheTraceFileWhileLoggingIsOn) {
    tempFolder folder;
    const std::wstring trace = folder / L"trace.txt";
    uniqueHkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, valuesPath, 0, KEY_READ, readOnly.put()));
    readWriteSettingsToRegistry reader;
    reader.attachKey(readOnly.get());

    // Diagnostic logging is off at start: nothing is written.
    EXPECT_EQ(0, reader.writeDword(trace.c_str(), L"refused", 1));
    EXPECT_FALSE(fileExists(trace));

    logFile::enableLogging(TRUE);
    EXPECT_EQ(1, settings.writeInt(trace.c_str(), L"accepted", 1)) << "success reports nothing";
    EXPECT_EQ(0, reader.writeInt(nullptr, L"refused", 1)) << "no path, no report";
    EXPECT_EQ(0, reader.writeDword(trace.c_str(), L"first", 1));
    EXPECT_EQ(0, reader.writeCString(trace.c_str(), L"second", CString(L"x")));
    theLogFile.closeLogFile();
    logFile::enableLogging(FALSE);

    const std::wstring text = readUtf16File(trace);
    const std::size_t first = text.find(L" : setting dword value : first");
    const std::size_t second = text.find(L" : setting string value : second");
    EXPECT_NE(std::wstring::npos, first) << text;
    EXPECT_NE(std::wstring::npos, second) << text;
    EXPECT_LT(first, second);
    EXPECT_EQ(std::wstring::npos, text.find(L"accepted"));
    EXPECT_EQ(std::wstring::npos, text.find(L"int value"));
}
