#include "tests/settings/registryTesting.h"

#include "diagnostics/logFile.h"
#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "support/stubString.h"

#include "tests/testing/tempFolder.h"

#include <cstring>
#include <functional>

namespace {

using registry = readWriteSettingsToRegistry;

// Numbers are written from one pattern, so each stores the pattern's low bytes; texts are "abc".
constexpr std::uint64_t pattern = 0x8877665544332211ull;
template <class T> T low() {
    T value;
    std::memcpy(&value, &pattern, sizeof(T));
    return value;
}

#define WRITE(call) [](registry& s, const wchar_t* t) { return s.call; }
const char *const stringTrace = "setting string value", *const int64Trace =
                                                            "setting unsigned __int64 value";
const struct {
    const char* name;
    std::function<int(registry&, const wchar_t* trace)> write;
    DWORD type, byteCount;
    const char* traceText;
} writeCases[] = {
    {"string", WRITE(writeString(t, L"string", L"abc")), REG_SZ, 8, stringTrace},
    {"stringA", WRITE(writeStringA(t, "stringA", L"abc")), REG_SZ, 8, stringTrace},
    {"textA", WRITE(writeTextA(t, "textA", "abc")), REG_SZ, 8, stringTrace},
    {"nullTextA", WRITE(writeTextA(t, "nullTextA", nullptr)), REG_SZ, 0, stringTrace},
    {"cstring", WRITE(writeCString(t, L"cstring", L"abc")), REG_SZ, 8, stringTrace},
    {"text", WRITE(writeText(t, L"text", L"abcdef", 3)), REG_SZ, 6, stringTrace},
    {"binary64", WRITE(writeBinary64(t, L"binary64", low<ULARGE_INTEGER>())), REG_BINARY, 8,
     stringTrace},
    {"int64", WRITE(writeInt64(t, L"int64", static_cast<std::int64_t>(pattern))), REG_DWORD, 8,
     int64Trace},
    {"uint64", WRITE(writeUInt64(t, L"uint64", pattern)), REG_DWORD, 8, int64Trace},
    {"time", WRITE(writeTime(t, L"time", static_cast<time_t>(pattern))), REG_DWORD, 8,
     "setting unsigned time_t value"},
    {"double", WRITE(writeDouble(t, L"double", low<double>())), REG_BINARY, 8,
     "setting double value"},
    {"dword", WRITE(writeDword(t, L"dword", low<DWORD>())), REG_DWORD, 4, "setting dword value"},
    {"uint", WRITE(writeUInt(t, L"uint", low<UINT>())), REG_DWORD, 4, "setting unsigned int value"},
    {"int", WRITE(writeInt(t, L"int", low<int>())), REG_DWORD, 4, "setting int value"},
    {"word", WRITE(writeWord(t, L"word", low<short>())), REG_DWORD, 2, "setting dword value"},
    {"wchar", WRITE(writeWideChar(t, L"wchar", low<wchar_t>())), REG_BINARY, 2,
     "setting wchar_t value"},
    {"uchar", WRITE(writeUChar(t, L"uchar", low<BYTE>())), REG_BINARY, 1,
     "setting unsigned char value"},
    {"char", WRITE(writeChar(t, L"char", low<char>())), REG_BINARY, 1, "setting char value"}};
#undef WRITE

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

TEST_F(registryStore, everyWriteStoresItsTypeAndBytesAndReportsItsFailureWhileLogging) {
    tempFolder folder;
    const std::wstring trace = folder / L"trace.txt", unboundTrace = folder / L"unbound.txt",
                       successTrace = folder / L"success.txt";
    uniqueHkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, storePath, 0, KEY_READ, readOnly.put()));
    readWriteSettingsToRegistry unbound, reader;
    reader.attachKey(readOnly.get());
    const wchar_t abc[] = L"abc";
    EXPECT_EQ(0, reader.writeDword(trace.c_str(), L"refused", 1));
    EXPECT_FALSE(fileExists(trace)) << "nothing is reported while logging is off";
    logFile::enableLogging(TRUE);
    for (const auto& c : writeCases) {
        EXPECT_EQ(0, c.write(unbound, unboundTrace.c_str())) << c.name;
        EXPECT_EQ(0, c.write(reader, trace.c_str())) << c.name;
        ASSERT_EQ(1, c.write(settings, successTrace.c_str())) << c.name;
        const rawRegistryValue stored = raw(wide(c.name).c_str());
        const void* expected = c.type == REG_SZ ? static_cast<const void*>(abc) : &pattern;
        EXPECT_EQ(c.type, stored.type) << c.name;
        EXPECT_EQ(0, std::memcmp(expected, stored.bytes.data(), c.byteCount)) << c.name;
        EXPECT_EQ(c.byteCount, stored.bytes.size()) << c.name;
    }
    EXPECT_EQ(0, settings.writeText(nullptr, L"negative", L"abc", -1) +
                     settings.writeText(nullptr, L"negative", nullptr, 2));
    EXPECT_FALSE(has(L"negative"));
    theLogFile.closeLogFile();
    logFile::enableLogging(FALSE);
    EXPECT_FALSE(fileExists(unboundTrace)) << "an unbound object reports nothing";
    EXPECT_FALSE(fileExists(successTrace)) << "a write that succeeds reports nothing";

    const std::string records = readTraceFile(trace);
    for (const auto& c : writeCases) {
        const std::string record = std::string(" : ") + c.traceText + " : " + c.name;
        EXPECT_NE(std::string::npos, findInTrace(records, record)) << record;
    }
}

namespace {

struct reader {
    DWORD width;
    std::function<int(registry&, const std::string& name, BYTE* value)> read;
};

// Reads into the leading bytes of value, through a variable of the reader's own type.
template <class T, class Char> reader readerOf(int (registry::*read)(const Char*, T&)) {
    return {sizeof(T), [read](registry& s, const std::string& name, BYTE* value) {
                T typed;
                std::memcpy(&typed, value, sizeof(T));
                const int result =
                    (s.*read)(std::basic_string<Char>(name.begin(), name.end()).c_str(), typed);
                std::memcpy(value, &typed, sizeof(T));
                return result;
            }};
}

} // namespace

TEST_F(registryStore, fixedWidthReadsTakeShorterValuesIntoTheirLowBytesAndRefuseLongerOnes) {
    const reader readers[] = {
        readerOf(&registry::readWord),     readerOf(&registry::readWideChar),
        readerOf(&registry::readUChar),    readerOf(&registry::readChar),
        readerOf(&registry::readDword),    readerOf(&registry::readDwordA),
        readerOf(&registry::readUInt),     readerOf(&registry::readInt),
        readerOf(&registry::readInt64),    readerOf(&registry::readUInt64),
        readerOf(&registry::readDouble),   readerOf(&registry::readTime),
        readerOf(&registry::readBinary64), // last: hands over its zeroed temporary whole
    };
    for (DWORD size : {1u, 2u, 4u, 8u})
        store(wide("size" + std::to_string(size)).c_str(), REG_DWORD, &pattern, size);
    readWriteSettingsToRegistry unbound;

    for (const reader& r : readers) {
        const bool wholeTemporary = &r == std::end(readers) - 1;
        for (DWORD size : {0u, 1u, 2u, 4u, 8u}) { // 0: missing
            BYTE value[8], expected[8];
            std::memset(value, 0xAA, 8);
            std::memset(expected, 0xAA, 8);
            const bool fits = size > 0 && size <= r.width;
            if (fits && wholeTemporary)
                std::memset(expected, 0, 8);
            if (fits)
                std::memcpy(expected, &pattern, size);
            const std::string name = "size" + std::to_string(size);
            EXPECT_EQ(fits ? 1 : 0, r.read(settings, name, value)) << r.width << name;
            EXPECT_EQ(0, std::memcmp(expected, value, 8)) << r.width << name;
            EXPECT_EQ(0, r.read(unbound, name, value));
        }
    }
}

TEST_F(registryStore, stringReadsTakeAnyLengthAcrossTheFirstQuery) {
    // 260 wide characters and a terminator fill the first 522 bytes; 8-bit, 521 characters do.
    for (std::size_t length : {0u, 260u, 261u, 521u, 522u, 600u}) {
        const std::wstring text(length, L'q');
        storeText(L"text", text);
        stubString wideRead, narrowRead;
        ASSERT_EQ(1, settings.readString(L"text", wideRead) &
                         settings.readStringA("text", narrowRead));
        EXPECT_EQ(text, static_cast<const wchar_t*>(wideRead)) << length;
        EXPECT_EQ(text, static_cast<const wchar_t*>(narrowRead)) << length;
    }
    stubString kept = L"default";
    EXPECT_EQ(0, settings.readString(L"missing", kept) + settings.readStringA("missing", kept));
    EXPECT_TRUE(kept == L"default");
}

TEST_F(registryStore, stringReadsStopAtTheDataWhateverItsShape) {
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

TEST_F(registryStore, bufferReadsAlwaysLeaveATerminatedStringInsideTheBuffer) {
    const struct {
        std::string data; // stored without a terminator unless it holds one
        int capacity;
        int result;
        const char* expected;
    } cases[] = {{{"abc\0", 4}, 10, 1, "abc"},
                 {"abc", 10, 1, "abc"},
                 {{"abc\0", 4}, 4, 1, "abc"},
                 {"abc", 4, 1, "abc"},
                 {"abcd", 4, 0, ""},
                 {{"ab\0d", 4}, 4, 1, "ab"},
                 {"abcdefghijklmnopqrst", 10, 0, ""},
                 {"", 1, 1, ""}};
    for (const auto& c : cases) {
        const std::wstring wideData = wide(c.data);
        store(L"wide", REG_BINARY, wideData.data(), static_cast<DWORD>(wideData.size() * 2));
        store(L"narrow", REG_BINARY, c.data.data(), static_cast<DWORD>(c.data.size()));
        wchar_t wideBuffer[16];
        char narrowBuffer[16];
        std::wmemset(wideBuffer, L'x', 16);
        std::memset(narrowBuffer, 'x', 16);
        EXPECT_EQ(c.result, settings.readText(L"wide", wideBuffer, c.capacity)) << c.data;
        EXPECT_EQ(c.result, settings.readTextA("narrow", narrowBuffer, c.capacity)) << c.data;
        EXPECT_EQ(wide(c.expected), wideBuffer) << c.data;
        EXPECT_STREQ(c.expected, narrowBuffer) << c.data;
        EXPECT_EQ(L'x', wideBuffer[c.capacity]) << c.data << ": written past the capacity";
        EXPECT_EQ('x', narrowBuffer[c.capacity]) << c.data << ": written past the capacity";
    }

    wchar_t buffer[4];
    // No room at all, or no key: the buffer is not touched.
    readWriteSettingsToRegistry unbound;
    for (int capacity : {0, -1, -2147483647}) {
        buffer[0] = L'x';
        EXPECT_EQ(0, settings.readText(L"wide", buffer, capacity) +
                         unbound.readText(L"wide", buffer, 4));
        EXPECT_EQ(L'x', buffer[0]) << capacity;
    }
}

TEST_F(registryStore, openKeyPathOpensAReadOnlyChainBelowTheMachineRoot) {
    CStringArray path;
    path.Add(L"Vendor");
    path.Add(L"Product");
    readWriteSettingsToRegistry chain, root;
    ASSERT_EQ(1, chain.openKeyPath(path));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Vendor\\Product"));
    ::SetLastError(0);
    EXPECT_EQ(0, chain.writeDword(nullptr, L"refused", 1)) << "read access only";
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
    ASSERT_EQ(1, root.openKeyPath(CStringArray()));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, root.getCurrentKey());

    chain.closeKeys();
    DWORD kept = 7;
    EXPECT_EQ(nullptr, chain.getCurrentKey());
    EXPECT_EQ(0, chain.readDword(L"anything", kept));
    EXPECT_EQ(7u, kept);

    makeRootRefuseCreation(HKEY_LOCAL_MACHINE); // a failure part-way leaves the object unbound
    EXPECT_EQ(0, chain.openKeyPath(path));
    EXPECT_EQ(nullptr, chain.getCurrentKey());
}

TEST_F(registryStore, everyFailingOperationLeavesItsReasonInGetLastError) {
    // What the operations read into.
    DWORD dword = 0;
    int number = 0;
    ULARGE_INTEGER opaque{};
    CString cstring;
    stubString stub;
    wchar_t wideBuffer[4] = {};
    char narrowBuffer[4] = {};
    std::vector<CString> list;
    CStringArray array;
    stubStringMap names(10);
    CVector<unsigned int> numbers;
#define OP(call) [&](registry& s) { return s.call; }
    const std::int64_t eightBytes = 1;
    store(L"long", REG_DWORD, &eightBytes, 8);
    storeText(L"tooLong", L"abcdef");
    const struct {
        const char* name;
        std::function<int(registry&)> operation;
        DWORD unbound, bound; // 0: succeeds when bound
    } rows[] = {
        {"readDword", OP(readDword(L"missing", dword)), ERROR_INVALID_HANDLE, ERROR_FILE_NOT_FOUND},
        {"readInt of 8 bytes", OP(readInt(L"long", number)), ERROR_INVALID_HANDLE, ERROR_MORE_DATA},
        {"readBinary64", OP(readBinary64(L"missing", opaque)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readDwordA", OP(readDwordA("missing", dword)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readCString", OP(readCString(L"missing", cstring)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readString", OP(readString(L"missing", stub)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readStringA", OP(readStringA("missing", stub)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readText", OP(readText(L"missing", wideBuffer, 4)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readText too long", OP(readText(L"tooLong", wideBuffer, 4)), ERROR_INVALID_HANDLE,
         ERROR_MORE_DATA},
        {"readText no buffer", OP(readText(L"missing", nullptr, 4)), ERROR_INVALID_HANDLE,
         ERROR_INVALID_PARAMETER},
        {"readTextA", OP(readTextA("missing", narrowBuffer, 4)), ERROR_INVALID_HANDLE,
         ERROR_FILE_NOT_FOUND},
        {"readTextA no room", OP(readTextA("missing", narrowBuffer, 0)), ERROR_INVALID_HANDLE,
         ERROR_INVALID_PARAMETER},
        {"writeDword", OP(writeDword(nullptr, L"v", 1)), ERROR_INVALID_HANDLE, 0},
        {"writeCString", OP(writeCString(nullptr, L"v", CString(L"x"))), ERROR_INVALID_HANDLE, 0},
        {"writeText", OP(writeText(nullptr, L"v", L"x", 1)), ERROR_INVALID_HANDLE, 0},
        {"writeText refused", OP(writeText(nullptr, L"v", L"x", -1)), ERROR_INVALID_HANDLE,
         ERROR_INVALID_PARAMETER},
        {"writeTextA", OP(writeTextA(nullptr, "v", "x")), ERROR_INVALID_HANDLE, 0},
        {"writeStringA", OP(writeStringA(nullptr, "v", stubString(L"x"))), ERROR_INVALID_HANDLE, 0},
        {"readStringList missing element", OP(readStringList(L"gap", list)), 0,
         ERROR_FILE_NOT_FOUND},
        {"readFrameworkStringArray", OP(readFrameworkStringArray(L"fa", array)),
         ERROR_INVALID_HANDLE, ERROR_FILE_NOT_FOUND},
        {"writeFrameworkStringArray", OP(writeFrameworkStringArray(nullptr, L"fa", CStringArray())),
         ERROR_INVALID_HANDLE, 0},
        {"collectNames", OP(collectNames(nullptr, names)), ERROR_INVALID_PARAMETER,
         ERROR_INVALID_PARAMETER},
        {"readUIntArray", OP(readUIntArray(numbers, nullptr)), ERROR_INVALID_PARAMETER,
         ERROR_INVALID_PARAMETER},
    };
#undef OP
    storeDword(L"gap_NumItems", 2);
    storeText(L"gap_1", L"second");
    readWriteSettingsToRegistry unbound;
    for (const auto& r : rows) {
        for (const bool bound : {false, true}) {
            const DWORD expected = bound ? r.bound : r.unbound;
            ::SetLastError(0xDEAD);
            const int result = r.operation(bound ? settings : unbound);
            EXPECT_EQ(expected == 0 ? 1 : 0, result) << r.name << (bound ? " bound" : "");
            if (expected != 0) {
                EXPECT_EQ(expected, ::GetLastError()) << r.name << (bound ? " bound" : "");
            }
        }
    }
}

TEST_F(registryStore, borrowedKeyStaysOpenAfterTheObjectIsGone) {
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
