#include "tests/settings/registryTesting.h"

#include "diagnostics/logFile.h"
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

struct writeCase {
    const char* name;
    std::function<int(registry&, const wchar_t* trace)> write;
    DWORD type;
    DWORD byteCount;
    const char* traceText;
};

#define WRITE(call) [](registry& s, const wchar_t* t) { return s.call; }
const writeCase writeCases[] = {
    {"string", WRITE(writeString(t, L"string", L"abc")), REG_SZ, 8, "setting string value"},
    {"stringA", WRITE(writeStringA(t, "stringA", L"abc")), REG_SZ, 8, "setting string value"},
    {"textA", WRITE(writeTextA(t, "textA", "abc")), REG_SZ, 8, "setting string value"},
    {"nullTextA", WRITE(writeTextA(t, "nullTextA", nullptr)), REG_SZ, 0, "setting string value"},
    {"cstring", WRITE(writeCString(t, L"cstring", L"abc")), REG_SZ, 8, "setting string value"},
    {"text", WRITE(writeText(t, L"text", L"abcdef", 3)), REG_SZ, 6, "setting string value"},
    {"binary64", WRITE(writeBinary64(t, L"binary64", ULARGE_INTEGER{{0x44332211, 0x88776655}})),
     REG_BINARY, 8, "setting string value"},
    {"int64", WRITE(writeInt64(t, L"int64", pattern)), REG_DWORD, 8,
     "setting unsigned __int64 value"},
    {"uint64", WRITE(writeUInt64(t, L"uint64", pattern)), REG_DWORD, 8,
     "setting unsigned __int64 value"},
    {"double", WRITE(writeDouble(t, L"double", low<double>())), REG_BINARY, 8,
     "setting double value"},
    {"time", WRITE(writeTime(t, L"time", pattern)), REG_DWORD, 8, "setting unsigned time_t value"},
    {"dword", WRITE(writeDword(t, L"dword", low<DWORD>())), REG_DWORD, 4, "setting dword value"},
    {"uint", WRITE(writeUInt(t, L"uint", low<unsigned int>())), REG_DWORD, 4,
     "setting unsigned int value"},
    {"int", WRITE(writeInt(t, L"int", low<int>())), REG_DWORD, 4, "setting int value"},
    {"word", WRITE(writeWord(t, L"word", low<short>())), REG_DWORD, 2, "setting dword value"},
    {"wchar", WRITE(writeWideChar(t, L"wchar", low<wchar_t>())), REG_BINARY, 2,
     "setting wchar_t value"},
    {"uchar", WRITE(writeUChar(t, L"uchar", low<unsigned char>())), REG_BINARY, 1,
     "setting unsigned char value"},
    {"char", WRITE(writeChar(t, L"char", low<char>())), REG_BINARY, 1, "setting char value"},
};
#undef WRITE

std::wstring wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

TEST_F(registryStore, everyWriteStoresItsTypeAndExactBytes) {
    const wchar_t abc[] = L"abc";
    for (const writeCase& c : writeCases) {
        ASSERT_EQ(1, c.write(settings, nullptr)) << c.name;
        const rawRegistryValue stored = raw(wide(c.name).c_str());
        const BYTE* expected =
            static_cast<const BYTE*>(c.type == REG_SZ ? static_cast<const void*>(abc) : &pattern);
        EXPECT_EQ(c.type, stored.type) << c.name;
        EXPECT_EQ(std::vector<BYTE>(expected, expected + c.byteCount), stored.bytes) << c.name;
    }
    EXPECT_EQ(0, settings.writeText(nullptr, L"negative", L"abc", -1));
    EXPECT_EQ(0, settings.writeText(nullptr, L"negative", nullptr, 2));
    EXPECT_FALSE(has(L"negative"));
}

TEST_F(registryStore, failedWritesReportTheirTextAndNameOnlyWhileLoggingIsOn) {
    tempFolder folder;
    const std::wstring trace = folder / L"trace.txt";
    uniqueHkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, storePath, 0, KEY_READ, readOnly.put()));
    readWriteSettingsToRegistry unbound, reader;
    reader.attachKey(readOnly.get());

    logFile::enableLogging(TRUE);
    for (const writeCase& c : writeCases)
        EXPECT_EQ(0, c.write(unbound, trace.c_str())) << c.name;
    EXPECT_FALSE(fileExists(trace)) << "an unbound object reports nothing";
    for (const writeCase& c : writeCases)
        EXPECT_EQ(0, c.write(reader, trace.c_str())) << c.name;
    theLogFile.closeLogFile();
    logFile::enableLogging(FALSE);

    const std::string text = readTraceFile(trace);
    for (const writeCase& c : writeCases) {
        const std::string record = std::string(" : ") + c.traceText + " : " + c.name;
        EXPECT_NE(std::string::npos, findInTrace(text, record)) << record;
        EXPECT_FALSE(has(wide(c.name).c_str())) << c.name;
    }
}

namespace {

template <class T, int (registry::*read)(const wchar_t*, T&)>
int readAs(registry& s, const wchar_t* name, BYTE* value) {
    T typed;
    std::memcpy(&typed, value, sizeof(T));
    const int result = (s.*read)(name, typed);
    std::memcpy(value, &typed, sizeof(T));
    return result;
}

int readDwordA(registry& s, const wchar_t* name, BYTE* value) {
    const std::string narrow(name, name + std::wcslen(name));
    DWORD typed;
    std::memcpy(&typed, value, sizeof(typed));
    const int result = s.readDwordA(narrow.c_str(), typed);
    std::memcpy(value, &typed, sizeof(typed));
    return result;
}

} // namespace

TEST_F(registryStore, fixedWidthReadsTakeShorterValuesIntoTheirLowBytesAndRefuseLongerOnes) {
    const struct {
        const char* what;
        DWORD width;
        int (*read)(registry&, const wchar_t*, BYTE*);
    } readers[] = {
        {"readWord", 2, readAs<short, &registry::readWord>},
        {"readWideChar", 2, readAs<wchar_t, &registry::readWideChar>},
        {"readUChar", 1, readAs<unsigned char, &registry::readUChar>},
        {"readChar", 1, readAs<char, &registry::readChar>},
        {"readDword", 4, readAs<DWORD, &registry::readDword>},
        {"readDwordA", 4, readDwordA},
        {"readUInt", 4, readAs<unsigned int, &registry::readUInt>},
        {"readInt", 4, readAs<int, &registry::readInt>},
        {"readInt64", 8, readAs<std::int64_t, &registry::readInt64>},
        {"readUInt64", 8, readAs<std::uint64_t, &registry::readUInt64>},
        {"readDouble", 8, readAs<double, &registry::readDouble>},
        {"readTime", 8, readAs<time_t, &registry::readTime>},
        {"readBinary64", 8, readAs<ULARGE_INTEGER, &registry::readBinary64>},
    };
    const auto nameOf = [](DWORD size) { return L"size" + std::to_wstring(size); };
    for (DWORD size : {1u, 2u, 4u, 8u})
        store(nameOf(size).c_str(), REG_DWORD, &pattern, size);
    readWriteSettingsToRegistry unbound;

    for (const auto& r : readers) {
        // readBinary64 hands over its whole temporary, zeroed beyond a shorter value.
        const bool wholeTemporary = std::string(r.what) == "readBinary64";
        for (DWORD size : {0u, 1u, 2u, 4u, 8u}) { // 0: missing
            BYTE value[8];
            std::memset(value, 0xAA, sizeof(value));
            const bool fits = size > 0 && size <= r.width;
            EXPECT_EQ(fits ? 1 : 0, r.read(settings, nameOf(size).c_str(), value))
                << r.what << size;
            for (DWORD i = 0; i < sizeof(value); ++i) {
                const BYTE expected = !fits            ? 0xAA
                                      : i < size       ? reinterpret_cast<const BYTE*>(&pattern)[i]
                                      : wholeTemporary ? 0
                                                       : 0xAA;
                EXPECT_EQ(expected, value[i]) << r.what << " size " << size << " byte " << i;
            }
        }
        BYTE value[8] = {0xAA};
        EXPECT_EQ(0, r.read(unbound, nameOf(4).c_str(), value)) << r.what;
        EXPECT_EQ(0xAA, value[0]) << r.what;
    }
}

TEST_F(registryStore, stringReadsTakeAnyLengthAcrossTheFirstQuery) {
    // 260 wide characters and a terminator fill the first 522 bytes; 8-bit, 521 characters do.
    for (std::size_t length : {0u, 260u, 261u, 521u, 522u, 600u}) {
        const std::wstring text(length, L'q');
        storeText(L"text", text);
        stubString wideRead, narrowRead;
        ASSERT_EQ(1, settings.readString(L"text", wideRead)) << length;
        ASSERT_EQ(1, settings.readStringA("text", narrowRead)) << length;
        EXPECT_EQ(text, static_cast<const wchar_t*>(wideRead)) << length;
        EXPECT_EQ(text, static_cast<const wchar_t*>(narrowRead)) << length;
    }
    stubString kept = L"default";
    EXPECT_EQ(0, settings.readString(L"missing", kept) + settings.readStringA("missing", kept));
    EXPECT_TRUE(kept == L"default");
}

TEST_F(registryStore, bufferReadsAlwaysLeaveATerminatedStringInsideTheBuffer) {
    const struct {
        std::string data; // stored without a terminator unless it holds one
        int capacity;
        int result;
        const char* expected;
    } cases[] = {
        {{"abc\0", 4}, 10, 1, "abc"},
        {"abc", 10, 1, "abc"},
        {{"abc\0", 4}, 4, 1, "abc"},
        {"abc", 4, 1, "abc"},
        {"abcd", 4, 0, ""},
        {{"ab\0d", 4}, 4, 1, "ab"},
        {"abcdefghijklmnopqrst", 10, 0, ""},
        {"", 1, 1, ""},
    };
    for (const auto& c : cases) {
        const std::wstring wideData(c.data.begin(), c.data.end());
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

    // What writeText stores without a terminator; an odd trailing byte is no character.
    ASSERT_EQ(1, settings.writeText(nullptr, L"written", L"abc", 3));
    store(L"odd", REG_BINARY, "a\0b\0c", 5);
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(1, settings.readText(L"written", buffer, 4));
    EXPECT_STREQ(L"abc", buffer);
    EXPECT_EQ(1, settings.readText(L"odd", buffer, 4));
    EXPECT_STREQ(L"ab", buffer);
    EXPECT_EQ(0, settings.readText(L"missing", buffer, 4));
    EXPECT_STREQ(L"", buffer);

    // No room at all, or no key: the buffer is not touched.
    readWriteSettingsToRegistry unbound;
    for (int capacity : {0, -1, -2147483647}) {
        buffer[0] = L'x';
        EXPECT_EQ(0, settings.readText(L"written", buffer, capacity)) << capacity;
        EXPECT_EQ(0, unbound.readText(L"written", buffer, 4));
        EXPECT_EQ(L'x', buffer[0]) << capacity;
    }
}

TEST_F(registryStore, openKeyPathOpensAReadOnlyChainBelowTheMachineRoot) {
    CStringArray path;
    path.Add(L"Vendor");
    path.Add(L"Product");
    const DWORD stored = 42;
    writeRawValue(HKEY_LOCAL_MACHINE, L"Vendor\\Product", L"value", REG_DWORD, &stored, 4);

    readWriteSettingsToRegistry chain;
    ASSERT_EQ(1, chain.openKeyPath(path));
    DWORD value = 0;
    EXPECT_EQ(1, chain.readDword(L"value", value));
    EXPECT_EQ(42u, value);
    EXPECT_EQ(0, chain.writeDword(nullptr, L"refused", 1)) << "read access only";
    path.Add(L"New"); // missing keys are created
    ASSERT_EQ(1, chain.openKeyPath(path));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Vendor\\Product\\New"));

    { // An empty path binds the root itself, which the object never closes.
        readWriteSettingsToRegistry root;
        ASSERT_EQ(1, root.openKeyPath(CStringArray()));
        EXPECT_EQ(HKEY_LOCAL_MACHINE, root.getCurrentKey());
    }
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Vendor"));

    makeRootRefuseCreation(HKEY_LOCAL_MACHINE); // a failure part-way leaves the object unbound
    EXPECT_EQ(0, chain.openKeyPath(path));
    EXPECT_EQ(nullptr, chain.getCurrentKey());
}
