#pragma once
// One named value of the settings file: a wide name, a value type and the value bytes.
//
// Records live on the support heap, and so do the name and value blocks they own. In the file
// a record is: name size in bytes (32-bit), the name as UTF-16LE with its terminating zero, the
// value type (32-bit), the value size (32-bit), the value bytes; all little-endian and packed.
#include <windows.h>

#include <cstddef>

class fileBuffer;

class settingRecord {
public:
    settingRecord() = default;
    ~settingRecord() { clear(); }

    settingRecord(const settingRecord&) = delete;
    settingRecord& operator=(const settingRecord&) = delete;

    // Null when the support heap is exhausted; the new-expression then constructs nothing.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    // Replaces the contents with copies of the name and value; a null value leaves the record
    // without one (size 0). Fails, keeping the old contents, when a copy cannot be allocated.
    int set(const wchar_t* newName, DWORD newType, DWORD newSize, const void* newValue);
    // The pointers handed out stay owned by the record.
    int get(const wchar_t*& outName, DWORD& outType, DWORD& outSize,
            const unsigned char*& outValue) const;

    // Appends the record in the file layout; a record without a name gets the empty name.
    int writeTo(fileBuffer& buffer) const;
    // Replaces the contents with the record at the buffer's cursor. A size field is checked
    // against the bytes that remain before anything is allocated. On failure the record is
    // empty and GetLastError is ERROR_INVALID_DATA for a damaged record or
    // ERROR_NOT_ENOUGH_MEMORY when a copy could not be allocated; damage (when given) then
    // receives what was wrong with a damaged record.
    int readFrom(fileBuffer& buffer, const char** damage = nullptr);

    // Names code unit by code unit (-1, 0, +1), then type, then size, then the value bytes.
    int compare(const settingRecord& other) const;
    void clear();

    const wchar_t* getName() const { return name; }
    DWORD getType() const { return valueType; }
    DWORD getSize() const { return valueSize; }
    const unsigned char* getValue() const { return value; }

private:
    wchar_t* name = nullptr;
    DWORD valueType = 0;
    DWORD valueSize = 0;
    unsigned char* value = nullptr;
};

// Code-unit order of two zero-terminated names (null counts as empty): -1, 0 or +1.
int compareNames(const wchar_t* left, const wchar_t* right);

// Test seam: where records and their name and value blocks take their memory (the support heap
// unless replaced). Null members restore the support heap; the previous pair is returned.
struct settingRecordHeapCalls {
    void* (*alloc)(std::size_t bytes);
    void (*free)(void* block);
};
settingRecordHeapCalls setSettingRecordHeapCalls(settingRecordHeapCalls calls);
