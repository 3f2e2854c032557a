#pragma once
// The whole contents of a file in one block of a private heap: read with one ReadFile, values
// read and written at a cursor, written back with one WriteFile.
//
// Every operation that can fail returns non-zero on success and 0 on failure and never throws;
// GetLastError keeps the system's code. A failed read leaves the cursor and the output
// unchanged; a failed write leaves the contents, size and cursor unchanged. Values are stored
// packed in the machine's byte order, at any offset. Sizes and offsets are 32-bit: a buffer
// holds less than 4 GiB.
//
// The A forms and the 8-bit names: a file name's bytes are widened each to the 16-bit character
// of the same value (no code page); the text of readCountedA and readLineA is converted unit by
// unit with the ANSI code page.
#include <windows.h>

#include <cstdint>

class stubString;

class fileBuffer {
public:
    fileBuffer();
    ~fileBuffer();

    fileBuffer(const fileBuffer&) = delete;
    fileBuffer& operator=(const fileBuffer&) = delete;

    // Memory and heap.
    int createHeap(SIZE_T bytes);
    void freeData();
    int allocate(DWORD bytes);
    // Room for count more bytes at the cursor.
    int reserve(DWORD count);
    int grow(DWORD needed);
    // Releases the block and the heap, then closes the file; the result is closeFile's.
    int close();

    // Whole-file operations.
    int readFile(const wchar_t* name, SECURITY_ATTRIBUTES* security);
    int readFile(const char* name, SECURITY_ATTRIBUTES* security);
    // Writes the contents over the file in place (created or truncated); they stay in memory.
    int saveFile(const wchar_t* name, SECURITY_ATTRIBUTES* security);
    int saveFile(const char* name, SECURITY_ATTRIBUTES* security);
    static int getFileTimes(const wchar_t* name, SECURITY_ATTRIBUTES* security, FILETIME& created,
                            FILETIME& lastWritten, FILETIME& lastAccessed);
    static int getFileTimes(const char* name, SECURITY_ATTRIBUTES* security, FILETIME& created,
                            FILETIME& lastWritten, FILETIME& lastAccessed);

    // File-handle operations. The opens store the new handle without closing one already held.
    int createOutput(const wchar_t* name, SECURITY_ATTRIBUTES* security);
    int createOutput(const char* name, SECURITY_ATTRIBUTES* security);
    int createOutputReadShared(const wchar_t* name, SECURITY_ATTRIBUTES* security);
    int createOutputReadShared(const char* name, SECURITY_ATTRIBUTES* security);
    int openOutput(const wchar_t* name, SECURITY_ATTRIBUTES* security);
    int openOutput(const char* name, SECURITY_ATTRIBUTES* security);
    int attachFile(HANDLE handle);
    // The new file offset's low 32 bits, or 0 when no file is open.
    DWORD seekFileToEnd();
    // Fails unless all size bytes were written; the cursor returns to 0 either way.
    int writeToFile();
    int writeToFileOverlapped(OVERLAPPED* overlapped);
    int closeFile();

    // Cursor. seek refuses offsets at or past the end, so an empty buffer refuses every seek.
    void rewind() { position = 0; }
    int seek(DWORD offset);
    // origin 0: start, 1: relative to the cursor, 2: the last byte; any other origin stays.
    int seekFrom(long offset, int origin);
    DWORD tell() const { return position; }
    int atEnd() const { return position == size ? 1 : 0; }
    int hasData() const { return data != nullptr ? 1 : 0; }

    const unsigned char* getData() const { return data; }
    DWORD getSize() const { return size; }
    DWORD getCapacity() const { return capacity; }

    int read(std::int8_t& value);
    int read(std::uint8_t& value);
    int read(std::int16_t& value);
    int read(std::uint16_t& value);
    int read(std::int32_t& value);
    int read(std::uint32_t& value);
    int read(long& value);
    int read(unsigned long& value);
    int read(std::int64_t& value);
    int read(std::uint64_t& value);
    int read(float& value);
    int read(double& value);

    int write(std::int8_t value);
    int write(std::uint8_t value);
    int write(std::int16_t value);
    int write(std::uint16_t value);
    int write(std::int32_t value);
    int write(std::uint32_t value);
    int write(long value);
    int write(unsigned long value);
    int write(std::int64_t value);
    int write(std::uint64_t value);
    int write(float value);
    int write(double value);

    // A request of 0 bytes succeeds only while the cursor is before the end.
    int readBytes(void* destination, DWORD count, DWORD* countRead);
    int writeBytes(const void* source, DWORD count, DWORD* countWritten);

    // A 32-bit length in units, then the units without a terminator.
    int writeCounted(const wchar_t* text);
    int writeCounted(const char* text);
    // The units read before a failure stay in the string.
    int readCounted(stubString& text);
    // 8-bit units, each appended through stubString's char conversion.
    int readCountedA(stubString& text);

    // A line feed ends the line and is dropped; carriage returns are kept. Reaching the end
    // first fails, keeping what was read.
    int readLine(stubString& line);
    int readLineA(stubString& line);
    // Stores units until a line feed (kept) or bufferUnits units, then a terminator, replacing the
    // last unit when the buffer is full. Null at the end of the data, or for a null buffer or a
    // bufferUnits below 1 (then nothing is touched).
    wchar_t* readLine(wchar_t* buffer, int bufferUnits);
    char* readLine(char* buffer, int bufferUnits);

private:
    template <typename T> int readValue(T& value);
    template <typename T> int writeValue(T value);
    template <typename Unit> int writeCountedUnits(const Unit* text);
    template <typename Unit> int readUnit(Unit& unit);
    template <typename Unit> int readLineInto(stubString& line);
    template <typename Unit> Unit* readLineInto(Unit* buffer, int bufferUnits);
    int openFile(const wchar_t* name, SECURITY_ATTRIBUTES* security, DWORD access, DWORD share,
                 DWORD disposition);

    HANDLE heap;
    unsigned char* data;
    DWORD size;
    DWORD capacity;
    DWORD growBy;
    DWORD position;
    HANDLE file;
};

// Test seam: the heap calls behind fileBuffer. Null members restore the system's functions; the
// previous set is returned.
struct fileBufferHeapCalls {
    HANDLE(WINAPI* create)(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
    LPVOID(WINAPI* alloc)(HANDLE heap, DWORD flags, SIZE_T bytes);
    LPVOID(WINAPI* reAlloc)(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
    BOOL(WINAPI* free)(HANDLE heap, DWORD flags, LPVOID block);
    BOOL(WINAPI* destroy)(HANDLE heap);
};
fileBufferHeapCalls setFileBufferHeapCalls(fileBufferHeapCalls calls);
