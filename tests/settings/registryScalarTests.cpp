#include "tests/settings/registryTesting.h"

#include "diagnostics/logFile.h"
#include "support/stubString.h"

#include "tests/testing/tempFolder.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

using bytes = std::vector<BYTE>;
using registry = readWriteSettingsToRegistry;

template <class T> bytes bytesOf(const T& value) {
    const BYTE* first = reinterpret_cast<const BYTE*>(&value);
    return bytes(first, first + sizeof(T));
}

bytes wideBytes(const wchar_t* text, std::size_t characters) {
    const BYTE* first = reinterpret_cast<const BYTE*>(text);
    return bytes(first, first + characters * sizeof(wchar_t));
}

struct writeCase {
    const char* name;
    std::function<int(registry&, const wchar_t* trace)> write;
    DWORD type;
    bytes data;
    const char* traceText;
};

std::vector<writeCase> writeCases() {
    ULARGE_INTEGER binary;
    binary.QuadPart = 0x0102030405060708ull;
    const std::int64_t int64 = -2;
    const std::uint64_t uint64 = 0xF0E0D0C0B0A09080ull;
    const double real = 1.5;
    const short word = 0x1234;
    const time_t time = 1700000000;
    return {
        {"string",
         [](registry& s, auto t) { return s.writeString(t, L"string", stubString(L"abc")); },
         REG_SZ, wideBytes(L"abc", 4), "setting string value"},
        {"stringA",
         [](registry& s, auto t) { return s.writeStringA(t, "stringA", stubString(L"abc")); },
         REG_SZ, wideBytes(L"abc", 4), "setting string value"},
        {"textA", [](registry& s, auto t) { return s.writeTextA(t, "textA", "abc"); }, REG_SZ,
         wideBytes(L"abc", 4), "setting string value"},
        {"nullTextA",
         [](registry& s, auto t) { return s.writeTextA(t, "nullTextA", nullptr); },
         REG_SZ,
         {},
         "setting string value"},
        {"binary64", [=](registry& s, auto t) { return s.writeBinary64(t, L"binary64", binary); },
         REG_BINARY, bytesOf(binary), "setting string value"},
        {"cstring", [](registry& s, auto t) { return s.writeCString(t, L"cstring", CString(L"")); },
         REG_SZ, wideBytes(L"", 1), "setting string value"},
        {"int64", [=](registry& s, auto t) { return s.writeInt64(t, L"int64", int64); }, REG_DWORD,
         bytesOf(int64), "setting unsigned __int64 value"},
        {"uint64", [=](registry& s, auto t) { return s.writeUInt64(t, L"uint64", uint64); },
         REG_DWORD, bytesOf(uint64), "setting unsigned __int64 value"},
        {"dword", [](registry& s, auto t) { return s.writeDword(t, L"dword", 0xFFFFFFFF); },
         REG_DWORD, bytesOf(DWORD{0xFFFFFFFF}), "setting dword value"},
        {"double", [=](registry& s, auto t) { return s.writeDouble(t, L"double", real); },
         REG_BINARY, bytesOf(real), "setting double value"},
        {"word", [=](registry& s, auto t) { return s.writeWord(t, L"word", word); }, REG_DWORD,
         bytesOf(word), "setting dword value"},
        {"uint", [](registry& s, auto t) { return s.writeUInt(t, L"uint", 7u); }, REG_DWORD,
         bytesOf(7u), "setting unsigned int value"},
        {"int", [](registry& s, auto t) { return s.writeInt(t, L"int", -7); }, REG_DWORD,
         bytesOf(-7), "setting int value"},
        {"wchar", [](registry& s, auto t) { return s.writeWideChar(t, L"wchar", L'Z'); },
         REG_BINARY, bytesOf(L'Z'), "setting wchar_t value"},
        {"uchar", [](registry& s, auto t) { return s.writeUChar(t, L"uchar", 0xFE); }, REG_BINARY,
         bytes{0xFE}, "setting unsigned char value"},
        {"char", [](registry& s, auto t) { return s.writeChar(t, L"char", 'c'); }, REG_BINARY,
         bytes{'c'}, "setting char value"},
        {"text", [](registry& s, auto t) { return s.writeText(t, L"text", L"abcdef", 3); }, REG_SZ,
         wideBytes(L"abc", 3), "setting string value"},
        {"time", [=](registry& s, auto t) { return s.writeTime(t, L"time", time); }, REG_DWORD,
         bytesOf(time), "setting unsigned time_t value"},
    };
}

std::wstring wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

TEST_F(registryStore, everyWriteStoresItsTypeAndExactBytes) {
    for (const writeCase& c : writeCases()) {
        ASSERT_EQ(1, c.write(settings, nullptr)) << c.name;
        const rawRegistryValue stored = raw(wide(c.name).c_str());
        EXPECT_EQ(c.type, stored.type) << c.name;
        EXPECT_EQ(c.data, stored.bytes) << c.name;
    }
}

TEST_F(registryStore, failedWritesReportTheirTextAndNameOnlyWhileLoggingIsOn) {
    tempFolder folder;
    const std::wstring trace = folder / L"trace.txt";
    readWriteSettingsToRegistry unbound;
    uniqueHkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, storePath, 0, KEY_READ, readOnly.put()));
    readWriteSettingsToRegistry reader;
    reader.attachKey(readOnly.get());

    logFile::enableLogging(TRUE);
    for (const writeCase& c : writeCases())
        EXPECT_EQ(0, c.write(unbound, trace.c_str())) << c.name;
    EXPECT_FALSE(fileExists(trace)) << "an unbound object reports nothing";
    for (const writeCase& c : writeCases())
        EXPECT_EQ(0, c.write(reader, trace.c_str())) << c.name;
    theLogFile.closeLogFile();
    logFile::enableLogging(FALSE);

    const std::string text = readTraceFile(trace);
    for (const writeCase& c : writeCases()) {
        const std::string record = std::string(" : ") + c.traceText + " : " + c.name;
        EXPECT_NE(std::string::npos, findInTrace(text, record)) << record;
    }
    for (const writeCase& c : writeCases())
        EXPECT_FALSE(has(wide(c.name).c_str())) << c.name;
}

namespace {

using reader = std::function<int(registry&, const wchar_t* name, BYTE* value)>;

template <class T, int (registry::*read)(const wchar_t*, T&)> reader readAs() {
    return [](registry& s, const wchar_t* name, BYTE* value) {
        T typed;
        std::memcpy(&typed, value, sizeof(T));
        const int result = (s.*read)(name, typed);
        std::memcpy(value, &typed, sizeof(T));
        return result;
    };
}

struct readerCase {
    const char* what;
    DWORD width;
    reader read;
};

} // namespace

TEST_F(registryStore, fixedWidthReadsTakeShorterValuesIntoTheirLowBytesAndRefuseLongerOnes) {
    const readerCase readers[] = {
        {"readWord", 2, readAs<short, &registry::readWord>()},
        {"readWideChar", 2, readAs<wchar_t, &registry::readWideChar>()},
        {"readUChar", 1, readAs<unsigned char, &registry::readUChar>()},
        {"readChar", 1, readAs<char, &registry::readChar>()},
        {"readDword", 4, readAs<DWORD, &registry::readDword>()},
        {"readUInt", 4, readAs<unsigned int, &registry::readUInt>()},
        {"readInt", 4, readAs<int, &registry::readInt>()},
        {"readInt64", 8, readAs<std::int64_t, &registry::readInt64>()},
        {"readUInt64", 8, readAs<std::uint64_t, &registry::readUInt64>()},
        {"readDouble", 8, readAs<double, &registry::readDouble>()},
        {"readTime", 8, readAs<time_t, &registry::readTime>()},
        {"readBinary64", 8, readAs<ULARGE_INTEGER, &registry::readBinary64>()},
        {"readDwordA", 4,
         [](registry& s, const wchar_t* name, BYTE* value) {
             const std::string narrow(name, name + std::wcslen(name));
             DWORD typed;
             std::memcpy(&typed, value, sizeof(typed));
             const int result = s.readDwordA(narrow.c_str(), typed);
             std::memcpy(value, &typed, sizeof(typed));
             return result;
         }},
    };
    const BYTE stored[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const auto nameOf = [](DWORD size) { return L"size" + std::to_wstring(size); };
    for (DWORD size : {1u, 2u, 4u, 8u})
        store(nameOf(size).c_str(), REG_DWORD, stored, size);
    readWriteSettingsToRegistry unbound;

    for (const readerCase& r : readers) {
        // readBinary64 hands over its whole temporary, zeroed beyond a shorter value.
        const bool wholeTemporary = std::string(r.what) == "readBinary64";
        for (DWORD size : {0u, 1u, 2u, 4u, 8u}) { // 0: missing
            BYTE value[8];
            std::memset(value, 0xAA, sizeof(value));
            const bool fits = size > 0 && size <= r.width;
            EXPECT_EQ(fits ? 1 : 0, r.read(settings, nameOf(size).c_str(), value))
                << r.what << size;
            for (DWORD i = 0; i < sizeof(value); ++i) {
                BYTE expected = 0xAA;
                if (fits && i < size)
                    expected = stored[i];
                else if (fits && wholeTemporary)
                    expected = 0;
                EXPECT_EQ(expected, value[i]) << r.what << " size " << size << " byte " << i;
            }
        }
        BYTE value[8];
        std::memset(value, 0xAA, sizeof(value));
        EXPECT_EQ(0, r.read(unbound, nameOf(4).c_str(), value)) << r.what;
        EXPECT_EQ(0xAA, value[0]) << r.what;
    }
}

TEST_F(registryStore, stringReadsTakeAnyLengthAcrossTheFirstQuery) {
    // 260 wide characters and their terminator fill the first 522 bytes; the 8-bit query holds
    // 521 characters and a terminator.
    for (std::size_t length : {0u, 259u, 260u, 261u, 300u, 521u, 522u, 600u}) {
        const std::wstring text(length, L'q');
        storeText(L"text", text);
        stubString wideRead = L"default";
        stubString narrowRead = L"default";
        ASSERT_EQ(1, settings.readString(L"text", wideRead)) << length;
        ASSERT_EQ(1, settings.readStringA("text", narrowRead)) << length;
        EXPECT_EQ(text, static_cast<const wchar_t*>(wideRead)) << length;
        EXPECT_EQ(text, static_cast<const wchar_t*>(narrowRead)) << length;
    }
    stubString kept = L"default";
    EXPECT_EQ(0, settings.readString(L"missing", kept));
    EXPECT_EQ(0, settings.readStringA("missing", kept));
    EXPECT_TRUE(kept == L"default");
}

TEST_F(registryStore, bufferReadsAlwaysLeaveATerminatedStringInsideTheBuffer) {
    struct {
        const char* data; // stored without a terminator unless it holds one
        std::size_t length;
        int capacity;
        int result;
        const char* expected;
    } const cases[] = {
        {"abc\0", 4, 10, 1, "abc"},
        {"abc", 3, 10, 1, "abc"},
        {"abc\0", 4, 4, 1, "abc"},
        {"abc", 3, 4, 1, "abc"},
        {"abcd", 4, 4, 0, ""},
        {"ab\0d", 4, 4, 1, "ab"},
        {"abcdefghijklmnopqrst", 20, 10, 0, ""},
        {"", 0, 1, 1, ""},
        {nullptr, 0, 10, 0, ""}, // missing
    };
    for (const auto& c : cases) {
        const std::string narrow = c.data != nullptr ? std::string(c.data, c.length) : "";
        const std::wstring wideData(narrow.begin(), narrow.end());
        const std::string what = c.data != nullptr ? narrow : "(missing)";
        if (c.data != nullptr) {
            store(L"wide", REG_BINARY, wideData.data(),
                  static_cast<DWORD>(wideData.size() * sizeof(wchar_t)));
            store(L"narrow", REG_BINARY, narrow.data(), static_cast<DWORD>(narrow.size()));
        } else {
            ::RegDeleteValueW(key.get(), L"wide");
            ::RegDeleteValueW(key.get(), L"narrow");
        }
        wchar_t wideBuffer[16];
        char narrowBuffer[16];
        std::wmemset(wideBuffer, L'x', 16);
        std::memset(narrowBuffer, 'x', 16);
        EXPECT_EQ(c.result, settings.readText(L"wide", wideBuffer, c.capacity)) << what;
        EXPECT_EQ(c.result, settings.readTextA("narrow", narrowBuffer, c.capacity)) << what;
        EXPECT_EQ(wide(c.expected), wideBuffer) << what;
        EXPECT_STREQ(c.expected, narrowBuffer) << what;
        EXPECT_EQ(L'x', wideBuffer[c.capacity]) << what << ": written past the capacity";
        EXPECT_EQ('x', narrowBuffer[c.capacity]) << what << ": written past the capacity";
    }

    // What writeText stores without a terminator.
    ASSERT_EQ(1, settings.writeText(nullptr, L"written", L"abc", 3));
    wchar_t written[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(1, settings.readText(L"written", written, 4));
    EXPECT_STREQ(L"abc", written);
    EXPECT_EQ(0, settings.readText(L"written", written, 3));
    EXPECT_STREQ(L"", written);

    // An odd trailing byte is no character.
    store(L"odd", REG_BINARY, "a\0b\0c", 5);
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(1, settings.readText(L"odd", buffer, 4));
    EXPECT_STREQ(L"ab", buffer);

    // No room at all, or no key: the buffer is not touched.
    readWriteSettingsToRegistry unbound;
    storeText(L"wide", L"abc");
    for (int capacity : {0, -1, -2147483647}) {
        buffer[0] = L'x';
        EXPECT_EQ(0, settings.readText(L"wide", buffer, capacity)) << capacity;
        EXPECT_EQ(L'x', buffer[0]) << capacity;
    }
    EXPECT_EQ(0, unbound.readText(L"wide", buffer, 4));
    EXPECT_EQ(L'x', buffer[0]);
    EXPECT_EQ(0, settings.readText(L"wide", nullptr, 4));
}

TEST_F(registryStore, writeTextRefusesLengthsItCannotHonour) {
    EXPECT_EQ(0, settings.writeText(nullptr, L"negative", L"abc", -1));
    EXPECT_EQ(0, settings.writeText(nullptr, L"nullText", nullptr, 2));
    EXPECT_FALSE(has(L"negative"));
    EXPECT_FALSE(has(L"nullText"));
    ASSERT_EQ(1, settings.writeText(nullptr, L"empty", nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw(L"empty").type);
    EXPECT_TRUE(raw(L"empty").bytes.empty());
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
    EXPECT_FALSE(readRawValue(HKEY_LOCAL_MACHINE, L"Vendor\\Product", L"refused").status ==
                 ERROR_SUCCESS);

    // A path that is missing is created.
    path.Add(L"New");
    ASSERT_EQ(1, chain.openKeyPath(path));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Vendor\\Product\\New"));

    // An empty path binds the root itself, which the object never closes.
    {
        readWriteSettingsToRegistry root;
        ASSERT_EQ(1, root.openKeyPath(CStringArray()));
        EXPECT_EQ(HKEY_LOCAL_MACHINE, root.getCurrentKey());
    }
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Vendor"));

    // A failure part-way leaves the object unbound.
    makeRootRefuseCreation(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(0, chain.openKeyPath(path));
    EXPECT_EQ(nullptr, chain.getCurrentKey());
}
