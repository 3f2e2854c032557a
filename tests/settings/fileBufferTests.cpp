#include "settings/fileBuffer.h"

#include "support/stubString.h"
#include "support/tarnHeap.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void fill(fileBuffer& buffer, const std::string& bytes) {
    buffer.freeData();
    ASSERT_EQ(1, buffer.writeBytes(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr));
    buffer.rewind();
}

// Counts heaps and can refuse the next allocation or growth.
struct heapSpy {
    static inline int created = 0;
    static inline int destroyed = 0;
    static inline bool refuse = false;
    static HANDLE WINAPI create(DWORD options, SIZE_T initial, SIZE_T maximum) {
        ++created;
        return ::HeapCreate(options, initial, maximum);
    }
    static BOOL WINAPI destroy(HANDLE heap) {
        ++destroyed;
        return ::HeapDestroy(heap);
    }
    static LPVOID WINAPI alloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
        return refuse ? nullptr : ::HeapAlloc(heap, flags, bytes);
    }
    static LPVOID WINAPI reAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
        return refuse ? nullptr : ::HeapReAlloc(heap, flags, block, bytes);
    }
};

class fileBufferHeaps : public ::testing::Test {
protected:
    void SetUp() override {
        heapSpy::created = heapSpy::destroyed = 0;
        heapSpy::refuse = false;
        previous = setFileBufferHeapCalls(
            {heapSpy::create, heapSpy::alloc, heapSpy::reAlloc, nullptr, heapSpy::destroy});
    }
    void TearDown() override { setFileBufferHeapCalls(previous); }
    fileBufferHeapCalls previous{};
};

} // namespace

TEST(fileBuffer, newBufferHoldsNothingAndRefusesReadsAndSeeks) {
    fileBuffer buffer;
    std::uint32_t value = 7;
    EXPECT_EQ(0, buffer.hasData());
    EXPECT_EQ(0, buffer.read(value));
    EXPECT_EQ(7u, value);
    EXPECT_EQ(0, buffer.seek(0));
    EXPECT_NE(0, buffer.atEnd());
    EXPECT_EQ(0, buffer.closeFile());
}

TEST(fileBuffer, blockGrowsByTheFixedStepOrToWhatIsNeeded) {
    struct step {
        DWORD bytes;
        DWORD capacity;
        DWORD size;
    } const steps[] = {
        {10000, 10000, 10000}, // exactly the first block
        {1, 20000, 10001},     // needed 10001: one step
        {50000, 60001, 60001}, // needed 60001 is more than a step
        {9998, 70001, 69999},  // ends one short of the block: fits
        {1, 70001, 70000},     // ends one short again
        {1, 80001, 70001},     // ends exactly at the block: grows although it would fit
    };
    fileBuffer buffer;
    const std::vector<char> source(60000, 'x');
    for (const step& s : steps) {
        ASSERT_EQ(1, buffer.writeBytes(source.data(), s.bytes, nullptr)) << s.bytes;
        EXPECT_EQ(s.capacity, buffer.getCapacity()) << s.size;
        EXPECT_EQ(s.size, buffer.getSize());
        EXPECT_EQ(s.size, buffer.tell());
    }

    fileBuffer small;
    ASSERT_EQ(1, small.write(std::uint32_t{4}));
    EXPECT_EQ(10000u, small.getCapacity());
    EXPECT_EQ(4u, small.getSize());
}

TEST(fileBuffer, aCountThatWrapsPastFourGigabytesIsRefused) {
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.write(std::uint8_t{1}));
    const char source = 'x';
    // position 1 + 0xFFFFFFFF would wrap to 0 and look like room.
    EXPECT_EQ(0, buffer.writeBytes(&source, 0xFFFFFFFFu, nullptr));
    EXPECT_EQ(0, buffer.reserve(0xFFFFFFFFu));
    EXPECT_EQ(1u, buffer.getSize());
    EXPECT_EQ(1u, buffer.tell());
}

template <typename T> class fileBufferValues : public ::testing::Test {};
using valueTypes = ::testing::Types<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t,
                                    std::int32_t, std::uint32_t, long, unsigned long, std::int64_t,
                                    std::uint64_t, float, double>;
TYPED_TEST_SUITE(fileBufferValues, valueTypes);

TYPED_TEST(fileBufferValues, roundTripAtOddOffsetsAndShortReadsKeepTheCursor) {
    fileBuffer buffer;
    const TypeParam first = static_cast<TypeParam>(0x41);
    const TypeParam second = static_cast<TypeParam>(-3);
    ASSERT_EQ(1, buffer.write(std::uint8_t{0xEE})); // every value after it sits at an odd offset
    ASSERT_EQ(1, buffer.write(first));
    ASSERT_EQ(1, buffer.write(second));
    EXPECT_EQ(1 + 2 * sizeof(TypeParam), buffer.getSize());
    TypeParam value{};
    ASSERT_EQ(1, buffer.seek(1));
    ASSERT_EQ(1, buffer.read(value));
    EXPECT_EQ(first, value);
    ASSERT_EQ(1, buffer.read(value));
    EXPECT_EQ(second, value);
    EXPECT_EQ(0, buffer.read(value));

    // One byte short of a whole value: the read fails and nothing moves.
    if constexpr (sizeof(TypeParam) > 1) {
        ASSERT_EQ(1, buffer.seek(static_cast<DWORD>(2 + sizeof(TypeParam))));
        value = first;
        EXPECT_EQ(0, buffer.read(value));
        EXPECT_EQ(first, value);
        EXPECT_EQ(2 + sizeof(TypeParam), buffer.tell());
    }
}

TEST(fileBuffer, seekAndSeekFromStayInsideTheData) {
    fileBuffer buffer;
    fill(buffer, "0123456789");
    struct row {
        long offset;
        int origin;
        int result;
        DWORD position;
    } const rows[] = {
        {3, 1, 1, 3},  {4, 1, 1, 7}, {-2, 1, 1, 5}, {-6, 1, 0, 5}, {5, 1, 0, 5},
        {99, 0, 1, 0}, {5, 2, 1, 9}, {0, 7, 1, 9},  {1, 1, 0, 9},
    };
    for (const row& r : rows) {
        EXPECT_EQ(r.result, buffer.seekFrom(r.offset, r.origin)) << r.offset << "," << r.origin;
        EXPECT_EQ(r.position, buffer.tell()) << r.offset << "," << r.origin;
    }
    EXPECT_EQ(0, buffer.seek(10));
    EXPECT_EQ(1, buffer.seek(9));
}

TEST(fileBuffer, countedStringsInBothWidths) {
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.writeCounted(L"abc"));
    ASSERT_EQ(1, buffer.writeCounted("de"));
    EXPECT_EQ(std::string("\3\0\0\0a\0b\0c\0\2\0\0\0de", 16),
              std::string(reinterpret_cast<const char*>(buffer.getData()), buffer.getSize()));
    buffer.rewind();
    stubString text(L"old");
    ASSERT_EQ(1, buffer.readCounted(text));
    EXPECT_TRUE(text == L"abc");
    ASSERT_EQ(1, buffer.readCountedA(text));
    EXPECT_TRUE(text == L"de");

    // A count that claims more than is there keeps what could be read.
    fill(buffer, std::string("\5\0\0\0x\0y\0", 8));
    EXPECT_EQ(0, buffer.readCounted(text));
    EXPECT_TRUE(text == L"xy");
}

TEST(fileBuffer, lineReadersIntoStrings) {
    fileBuffer buffer;
    fill(buffer, "a\r\nb");
    stubString line;
    EXPECT_EQ(1, buffer.readLineA(line));
    EXPECT_TRUE(line == L"a\r");
    EXPECT_EQ(0, buffer.readLineA(line));
    EXPECT_TRUE(line == L"b");

    const wchar_t wide[] = L"xy\nz";
    fill(buffer, std::string(reinterpret_cast<const char*>(wide), 8));
    EXPECT_EQ(1, buffer.readLine(line));
    EXPECT_TRUE(line == L"xy");
    EXPECT_EQ(0, buffer.readLine(line));
    EXPECT_TRUE(line == L"z");
}

TEST(fileBuffer, lineReadersIntoCallerBuffers) {
    struct row {
        const char* data;
        int capacity;
        bool found;
        std::string stored; // up to and including the terminator
        DWORD consumed;
    } const rows[] = {
        {"abcdef\n", 4, true, std::string("abc\0", 4), 4}, // full: the last unit gives way
        {"ab\ncd", 4, true, std::string("ab\n\0", 4), 3},  // line feed kept
        {"abc\nd", 4, true, std::string("abc\0", 4), 4},   // line feed in the last place
        {"ab", 4, false, std::string("ab\0", 3), 2},       // end of data first
        {"", 4, false, std::string("\0", 1), 0},
        {"xyz", 1, true, std::string("\0", 1), 1},
    };
    for (const row& r : rows) {
        fileBuffer buffer;
        fill(buffer, r.data);
        char line[8];
        std::memset(line, '?', sizeof(line));
        char* result = buffer.readLine(line, r.capacity);
        EXPECT_EQ(r.found ? line : nullptr, result) << r.data;
        EXPECT_EQ(r.stored, std::string(line, r.stored.size())) << r.data;
        EXPECT_EQ(r.consumed, buffer.tell()) << r.data;
    }

    fileBuffer buffer;
    fill(buffer, "ab\n");
    wchar_t wide[4] = {L'?', L'?', L'?', L'?'};
    EXPECT_EQ(nullptr, buffer.readLine(wide, 0));
    EXPECT_EQ(nullptr, buffer.readLine(static_cast<wchar_t*>(nullptr), 4));
    EXPECT_EQ(L'?', wide[0]);
    EXPECT_EQ(0u, buffer.tell());
}

TEST(fileBuffer, wholeFileReadAndSave) {
    tempFolder folder;
    const std::wstring path = folder.makeFile(L"data.bin", "old contents, longer");
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.readFile(path.c_str(), nullptr));
    EXPECT_EQ(20u, buffer.getSize());
    // Writes start at the cursor, 0, and the size stays the file's.
    ASSERT_EQ(1, buffer.writeBytes("new", 3, nullptr));
    EXPECT_EQ(20u, buffer.getSize());
    fill(buffer, "short");
    ASSERT_EQ(1, buffer.saveFile(path.c_str(), nullptr));
    EXPECT_EQ("short", readWholeFile(path));
    EXPECT_EQ(5u, buffer.getSize()); // the contents stay in memory

    const std::wstring empty = folder.makeFile(L"empty.bin", "");
    ASSERT_EQ(1, buffer.readFile(empty.c_str(), nullptr));
    EXPECT_EQ(1, buffer.hasData());
    EXPECT_EQ(0u, buffer.getCapacity());
    std::uint8_t byte = 0;
    EXPECT_EQ(0, buffer.read(byte));
    ASSERT_EQ(1, buffer.write(std::uint8_t{1}));
    EXPECT_EQ(10000u, buffer.getCapacity());

    EXPECT_EQ(0, buffer.readFile((folder / L"missing.bin").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_EQ(0, buffer.hasData());
}

TEST(fileBuffer, aFileOfFourGigabytesOrMoreIsRefusedNotCut) {
    tempFolder folder;
    const std::wstring path = folder / L"huge.bin";
    {
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER end{};
        end.QuadPart = 0x100000003ll; // read as its low 32 bits this would be 3 bytes
        ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        const BOOL extended = ::SetEndOfFile(file);
        ::CloseHandle(file);
        if (!extended)
            GTEST_SKIP() << "the file system cannot hold a sparse 4 GiB file";
    }
    fileBuffer buffer;
    EXPECT_EQ(0, buffer.readFile(path.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), ::GetLastError());
    EXPECT_EQ(0, buffer.hasData());
}

TEST(fileBuffer, narrowNamesWidenEachByteWithoutACodePage) {
    tempFolder folder;
    const std::string narrowFolder(folder.path().begin(), folder.path().end());
    const std::string narrow = narrowFolder + "\\x\x80y.bin"; // 0x80 is not U+0080 in any ANSI page
    fileBuffer buffer;
    fill(buffer, "abc");
    ASSERT_EQ(1, buffer.saveFile(narrow.c_str(), nullptr));
    EXPECT_EQ("abc", readWholeFile(folder / L"x\x0080y.bin"));
    fileBuffer again;
    ASSERT_EQ(1, again.readFile(narrow.c_str(), nullptr));
    EXPECT_EQ(3u, again.getSize());
    FILETIME created{}, written{}, accessed{};
    EXPECT_EQ(1, fileBuffer::getFileTimes(narrow.c_str(), nullptr, created, written, accessed));
    EXPECT_NE(0u, written.dwLowDateTime | written.dwHighDateTime);

    written.dwLowDateTime = 5;
    EXPECT_EQ(0, fileBuffer::getFileTimes((folder / L"none").c_str(), nullptr, created, written,
                                          accessed));
    EXPECT_EQ(0u, written.dwLowDateTime);
    EXPECT_EQ(0, again.readFile(static_cast<const char*>(nullptr), nullptr));
}

TEST(fileBuffer, outputHandlesShareAsDesignedAndWriteEverything) {
    tempFolder folder;
    const std::wstring path = folder.makeFile(L"out.bin", "0123456789");
    const auto readerCanOpen = [&] {
        HANDLE reader =
            ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (reader == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(reader);
        return true;
    };
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.openOutput(path.c_str(), nullptr));
    EXPECT_TRUE(readerCanOpen());
    EXPECT_EQ(10u, buffer.seekFileToEnd());
    fill(buffer, "ab");
    EXPECT_EQ(1, buffer.writeToFile());
    EXPECT_EQ(1, buffer.closeFile());
    EXPECT_EQ("0123456789ab", readWholeFile(path));

    ASSERT_EQ(1, buffer.createOutput(path.c_str(), nullptr));
    EXPECT_FALSE(readerCanOpen()); // shared for writing only
    EXPECT_EQ(1, buffer.closeFile());
    EXPECT_EQ("", readWholeFile(path));
    EXPECT_EQ(0, buffer.openOutput((folder / L"missing").c_str(), nullptr));
    EXPECT_EQ(0u, buffer.seekFileToEnd());
    EXPECT_EQ(0, buffer.writeToFile());
}

TEST_F(fileBufferHeaps, failedGrowthKeepsTheBlockAndCloseReleasesTheHeap) {
    const std::size_t announced = tarnHeaps::announcedCount();
    {
        fileBuffer buffer;
        const std::vector<char> source(10000, 'x');
        ASSERT_EQ(1, buffer.writeBytes(source.data(), 9999, nullptr));
        EXPECT_EQ(announced + 1, tarnHeaps::announcedCount());
        heapSpy::refuse = true;
        EXPECT_EQ(0, buffer.writeBytes(source.data(), 10, nullptr));
        EXPECT_EQ(0, buffer.write(std::uint16_t{1}));
        EXPECT_EQ(9999u, buffer.getSize());
        EXPECT_EQ(10000u, buffer.getCapacity());
        EXPECT_EQ('x', buffer.getData()[9998]);
        heapSpy::refuse = false;
        EXPECT_EQ(0, buffer.close()); // no file open, yet the heap goes
        EXPECT_EQ(0, buffer.hasData());
        EXPECT_EQ(announced, tarnHeaps::announcedCount());
        ASSERT_EQ(1, buffer.write(std::uint8_t{1})); // a fresh heap
    }
    EXPECT_EQ(2, heapSpy::created);
    EXPECT_EQ(2, heapSpy::destroyed);
    EXPECT_EQ(announced, tarnHeaps::announcedCount());
}

TEST(fileBuffer, writeToFileFailsWhenNotEverythingWasWritten) {
    // A non-blocking pipe takes what fits in its buffer and reports the rest as not written.
    const std::wstring name =
        L"\\\\.\\pipe\\fileBufferShortWrite-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                       PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    HANDLE client =
        ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, client);
    fileBuffer buffer;
    const std::vector<char> bytes(1 << 20, 'p');
    ASSERT_EQ(1, buffer.writeBytes(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr));
    ASSERT_EQ(1, buffer.attachFile(server));
    EXPECT_EQ(0, buffer.writeToFile());
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), ::GetLastError());
    EXPECT_EQ(0u, buffer.tell());
    EXPECT_EQ(1, buffer.closeFile());
    ::CloseHandle(client);
}
