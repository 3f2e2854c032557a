#include "settings/fileBuffer.h"

#include "support/stubString.h"
#include "support/tarnHeap.h"

#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void fill(fileBuffer& buffer, const std::string& bytes) {
    buffer.freeData();
    buffer.writeBytes(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr);
    buffer.rewind();
}

bool g_refuse = false;
LPVOID WINAPI refusingAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    return g_refuse ? nullptr : ::HeapAlloc(heap, flags, bytes);
}
LPVOID WINAPI refusingReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    return g_refuse ? nullptr : ::HeapReAlloc(heap, flags, block, bytes);
}

} // namespace

TEST(fileBuffer, blockGrowsByTheFixedStepOrToWhatIsNeeded) {
    const struct {
        DWORD bytes, capacity, size;
    } steps[] = {
        {10000, 10000, 10000}, // exactly the first block
        {1, 20000, 10001},     // needed 10001: one step
        {50000, 60001, 60001}, // more than a step
        {9999, 70001, 70000},  // ends one short of the block: fits
        {1, 80001, 70001},     // ends exactly at the block: grows although it would fit
    };
    fileBuffer buffer;
    EXPECT_EQ(0, buffer.seek(0));
    const std::string source(60000, 'x');
    for (const auto& s : steps) {
        ASSERT_EQ(1, buffer.writeBytes(source.data(), s.bytes, nullptr)) << s.size;
        EXPECT_EQ(s.capacity, buffer.getCapacity()) << s.size;
        EXPECT_EQ(s.size, buffer.getSize());
        EXPECT_EQ(s.size, buffer.tell());
    }
    // A count that wraps past 4 GiB would look like room and write past the block.
    EXPECT_EQ(0, buffer.writeBytes(source.data(), 0xFFFFFFFFu, nullptr));
    EXPECT_EQ(70001u, buffer.getSize());
}

TEST(fileBuffer, valuesAtOddOffsetsAndReadsThatDoNotFit) {
    fileBuffer buffer;
    ASSERT_TRUE(buffer.write(std::int8_t{-1}) && buffer.write(std::uint16_t{0x0201}) &&
                buffer.write(-3l) && buffer.write(0x0807060504030201ull) && buffer.write(-0.25));
    EXPECT_EQ(std::string("\xFF\x01\x02\xFD\xFF\xFF\xFF\x01\x02\x03\x04\x05\x06\x07\x08", 15),
              std::string(reinterpret_cast<const char*>(buffer.getData()), 15));
    ASSERT_EQ(1, buffer.seekFrom(9, 0)); // origin 0 goes to the start whatever the offset
    std::uint16_t u16 = 0;
    long i32 = 0;
    double d = 0;
    EXPECT_TRUE(buffer.seekFrom(1, 1) && buffer.read(u16) && buffer.read(i32) &&
                buffer.seekFrom(8, 1) && buffer.read(d));
    EXPECT_TRUE(u16 == 0x0201 && i32 == -3 && d == -0.25 && buffer.atEnd());
    ASSERT_EQ(1, buffer.seekFrom(-3, 1)); // three bytes left: a 4-byte read fails in place
    EXPECT_EQ(0, buffer.read(i32));
    EXPECT_EQ(-3, i32);
    EXPECT_EQ(buffer.getSize() - 3, buffer.tell());
    EXPECT_TRUE(buffer.seekFrom(5, 2) && buffer.tell() == buffer.getSize() - 1);
    EXPECT_EQ(0, buffer.seek(buffer.getSize()));
}

TEST(fileBuffer, countedStringsAndLines) {
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.writeCounted(L"abc"));
    ASSERT_EQ(1, buffer.writeCounted("de"));
    EXPECT_EQ(std::string("\3\0\0\0a\0b\0c\0\2\0\0\0de", 16),
              std::string(reinterpret_cast<const char*>(buffer.getData()), buffer.getSize()));
    buffer.rewind();
    stubString text;
    EXPECT_TRUE(buffer.readCounted(text) && text == L"abc");
    EXPECT_TRUE(buffer.readCountedA(text) && text == L"de");

    fill(buffer, "a\r\nb");
    EXPECT_TRUE(buffer.readLineA(text) && text == L"a\r");
    EXPECT_FALSE(buffer.readLineA(text));
    EXPECT_TRUE(text == L"b");

    const struct {
        const char* data;
        int capacity;
        bool found;
        std::string stored; // up to and including the terminator
        DWORD consumed;
    } rows[] = {
        {"abcdef\n", 4, true, std::string("abc\0", 4), 4}, // full: the last unit gives way
        {"ab\ncd", 4, true, std::string("ab\n\0", 4), 3},  // the line feed is kept
        {"abc\nd", 4, true, std::string("abc\0", 4), 4},   // line feed in the last place
        {"ab", 4, false, std::string("ab\0", 3), 2},       // end of data first
        {"xyz", 1, true, std::string("\0", 1), 1},
        {"xyz", 0, false, "?", 0}, // nothing touched, nothing read
    };
    for (const auto& r : rows) {
        fill(buffer, r.data);
        char line[8];
        std::memset(line, '?', sizeof(line));
        EXPECT_EQ(r.found ? line : nullptr, buffer.readLine(line, r.capacity)) << r.data;
        EXPECT_EQ(r.stored, std::string(line, r.stored.size())) << r.data;
        EXPECT_EQ(r.consumed, buffer.tell()) << r.data;
    }
    EXPECT_EQ(nullptr, buffer.readLine(static_cast<wchar_t*>(nullptr), 4));
}

TEST(fileBuffer, wholeFiles) {
    tempFolder folder;
    const std::wstring path = folder.makeFile(L"data.bin", "old contents, longer");
    fileBuffer buffer;
    ASSERT_EQ(1, buffer.readFile(path.c_str(), nullptr));
    ASSERT_EQ(1, buffer.writeBytes("new", 3, nullptr)); // over the start; the size stays
    EXPECT_EQ(20u, buffer.getSize());
    fill(buffer, "short");
    ASSERT_EQ(1, buffer.saveFile(path.c_str(), nullptr));
    EXPECT_EQ("short", readWholeFile(path));
    EXPECT_EQ(5u, buffer.getSize());

    ASSERT_EQ(1, buffer.readFile(folder.makeFile(L"empty.bin", "").c_str(), nullptr));
    EXPECT_EQ(1, buffer.hasData());
    ASSERT_EQ(1, buffer.write(std::uint8_t{1}));
    EXPECT_EQ(10000u, buffer.getCapacity());
    EXPECT_EQ(0, buffer.readFile((folder / L"missing.bin").c_str(), nullptr));
    EXPECT_EQ(0, buffer.hasData());

    // 8-bit names widen byte by byte: 0x80 is U+0080 here, not a code page's character.
    const std::string narrow = std::string(folder.path().begin(), folder.path().end()) + "\\\x80";
    fill(buffer, "abc");
    ASSERT_EQ(1, buffer.saveFile(narrow.c_str(), nullptr));
    EXPECT_EQ("abc", readWholeFile(folder / L"\x0080"));
    FILETIME created{}, written{1, 1}, accessed{};
    EXPECT_EQ(0, fileBuffer::getFileTimes((folder / L"none").c_str(), nullptr, created, written,
                                          accessed));
    EXPECT_EQ(0u, written.dwLowDateTime);
    EXPECT_EQ(1, fileBuffer::getFileTimes(narrow.c_str(), nullptr, created, written, accessed));
    EXPECT_NE(0u, written.dwLowDateTime | written.dwHighDateTime);

    // A file of 4 GiB or more is refused, not read as its low 32 bits (here 3 bytes).
    const std::wstring huge = folder / L"huge.bin";
    HANDLE file = ::CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = 0x100000003ll;
    const BOOL sparse = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    ASSERT_TRUE(sparse);
    EXPECT_EQ(0, buffer.readFile(huge.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), ::GetLastError());
}

TEST(fileBuffer, writeToFileFailsWhenNotEverythingWasWritten) {
    // A non-blocking pipe takes what fits in its buffer and reports the rest as not written.
    const std::wstring name =
        L"\\\\.\\pipe\\fileBufferShortWrite-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                       PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
    HANDLE client =
        ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, client);
    fileBuffer buffer;
    fill(buffer, std::string(1 << 20, 'p'));
    ASSERT_EQ(1, buffer.attachFile(server));
    EXPECT_EQ(0, buffer.writeToFile());
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), ::GetLastError());
    EXPECT_EQ(1, buffer.closeFile());
    ::CloseHandle(client);
}

TEST(fileBuffer, failedGrowthKeepsTheBlockAndCloseReleasesTheHeap) {
    const fileBufferHeapCalls previous =
        setFileBufferHeapCalls({nullptr, refusingAlloc, refusingReAlloc, nullptr, nullptr});
    const std::size_t announced = tarnHeaps::announcedCount();
    fileBuffer buffer;
    fill(buffer, std::string(9999, 'x'));
    EXPECT_EQ(announced + 1, tarnHeaps::announcedCount());
    g_refuse = true;
    ASSERT_EQ(1, buffer.seek(9998));
    EXPECT_EQ(0, buffer.write(std::uint16_t{1}));
    EXPECT_EQ(9999u, buffer.getSize());
    EXPECT_EQ('x', buffer.getData()[9998]);
    g_refuse = false;
    EXPECT_EQ(0, buffer.close()); // no file open, yet the block and the heap go
    EXPECT_EQ(0, buffer.hasData());
    EXPECT_EQ(announced, tarnHeaps::announcedCount());
    setFileBufferHeapCalls(previous);
}
