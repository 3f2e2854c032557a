#pragma once
// The settings store: named, typed settings read and written without knowing where they live.
//
// Two backends implement it: the registry (one value per setting under an open key) and the
// settings file (records in memory, saved to a binary file). Every operation returns non-zero
// on success and 0 on failure and never throws. Reads never apply defaults: the caller sets the
// default before reading and keeps it when the read fails. Every write takes tracePath first:
// the path of a diagnostic trace file that receives a record for a failed write, or null.
//
// The A forms take 8-bit names and texts in the ANSI code page, as the system's 8-bit calls do.
// One exception keeps existing files readable: the settings file's readTextA and writeTextA widen
// each byte to the character of the same value (no code page), as its stored records hold them.
//
// Collections are stored as families of scalar values whose names derive from the collection's
// name; most collection operations go through the object's own scalar slots, so a derived class
// that overrides a scalar slot changes how collections store that type too.
#include "framework/CString.h"

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <vector>

class stubString;
class CPersistStubStringArray;
template <class TYPE> class CVector;
template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE> class hashMap;

// Value names of a key, entered as both key and value.
using stubStringMap = hashMap<stubString, const wchar_t*, stubString, const wchar_t*>;
// Name-to-number map kept as "[dll]S%u" / "[dll]I%u" pairs.
using stubStringToUIntMap = hashMap<stubString, const wchar_t*, unsigned int, unsigned int>;

static_assert(sizeof(time_t) == 8, "settings keep time_t as 8 bytes");

class readWriteSettings {
public:
    readWriteSettings() = default;
    virtual ~readWriteSettings();

    readWriteSettings(const readWriteSettings&) = delete;
    readWriteSettings& operator=(const readWriteSettings&) = delete;

    // Puts pending changes into the store; a store that writes at once has nothing to do.
    virtual int flush();

    virtual int collectNames(const wchar_t* prefix, stubStringMap& names) = 0;

    virtual int readWord(const wchar_t* valueName, short& value) = 0;
    virtual int readString(const wchar_t* valueName, stubString& value) = 0;
    virtual int readStringA(const char* valueName, stubString& value) = 0;
    virtual int readStringList(const wchar_t* valueName, std::vector<CString>& list) = 0;
    virtual int readBinary64(const wchar_t* valueName, ULARGE_INTEGER& value) = 0;
    virtual int readCString(const wchar_t* valueName, CString& value) = 0;
    virtual int readInt64(const wchar_t* valueName, std::int64_t& value) = 0;
    virtual int readUInt64(const wchar_t* valueName, std::uint64_t& value) = 0;
    virtual int readDword(const wchar_t* valueName, DWORD& value) = 0;
    virtual int readDouble(const wchar_t* valueName, double& value) = 0;
    virtual int readUInt(const wchar_t* valueName, unsigned int& value) = 0;
    virtual int readInt(const wchar_t* valueName, int& value) = 0;
    virtual int readWideChar(const wchar_t* valueName, wchar_t& value) = 0;
    virtual int readUChar(const wchar_t* valueName, unsigned char& value) = 0;
    virtual int readChar(const wchar_t* valueName, char& value) = 0;
    // capacity is in bytes.
    virtual int readTextA(const char* valueName, char* buffer, int capacity) = 0;
    // capacity is in characters.
    virtual int readText(const wchar_t* valueName, wchar_t* buffer, int capacity) = 0;
    virtual int readTime(const wchar_t* valueName, time_t& value) = 0;

    virtual int writeString(const wchar_t* tracePath, const wchar_t* valueName,
                            const stubString& value) = 0;
    virtual int writeStringA(const wchar_t* tracePath, const char* valueName,
                             const stubString& value) = 0;
    virtual int writeTextA(const wchar_t* tracePath, const char* valueName, const char* text) = 0;
    virtual int writeStringList(const wchar_t* tracePath, const wchar_t* valueName,
                                const std::vector<CString>& list) = 0;
    virtual int writeBinary64(const wchar_t* tracePath, const wchar_t* valueName,
                              const ULARGE_INTEGER& value) = 0;
    virtual int writeCString(const wchar_t* tracePath, const wchar_t* valueName,
                             const CString& value) = 0;
    virtual int writeInt64(const wchar_t* tracePath, const wchar_t* valueName,
                           std::int64_t value) = 0;
    virtual int writeUInt64(const wchar_t* tracePath, const wchar_t* valueName,
                            std::uint64_t value) = 0;
    virtual int writeDword(const wchar_t* tracePath, const wchar_t* valueName, DWORD value) = 0;
    virtual int writeDouble(const wchar_t* tracePath, const wchar_t* valueName, double value) = 0;
    virtual int writeWord(const wchar_t* tracePath, const wchar_t* valueName, short value) = 0;
    virtual int writeUInt(const wchar_t* tracePath, const wchar_t* valueName,
                          unsigned int value) = 0;
    virtual int writeInt(const wchar_t* tracePath, const wchar_t* valueName, int value) = 0;
    virtual int writeWideChar(const wchar_t* tracePath, const wchar_t* valueName,
                              wchar_t value) = 0;
    virtual int writeUChar(const wchar_t* tracePath, const wchar_t* valueName,
                           unsigned char value) = 0;
    virtual int writeChar(const wchar_t* tracePath, const wchar_t* valueName, char value) = 0;
    // length is in characters; a terminator is stored only when length counts it.
    virtual int writeText(const wchar_t* tracePath, const wchar_t* valueName, const wchar_t* text,
                          int length) = 0;
    virtual int writeTime(const wchar_t* tracePath, const wchar_t* valueName, time_t value) = 0;

    virtual int readUIntArray(CVector<unsigned int>& array, const wchar_t* name) = 0;
    virtual int writeUIntArray(const wchar_t* tracePath, const CVector<unsigned int>& array,
                               const wchar_t* name) = 0;
    virtual int deleteUIntArray(const wchar_t* tracePath, const wchar_t* name,
                                unsigned int count) = 0;
    virtual int deleteCollections(const wchar_t* name, unsigned int count) = 0;
    virtual int readStringArray(CPersistStubStringArray& array, const wchar_t* name) = 0;
    virtual int writeStringArray(const wchar_t* tracePath, const CVector<stubString*>& array,
                                 const wchar_t* name) = 0;
    virtual int deleteStringArray(const wchar_t* name, unsigned int count) = 0;
    virtual int deleteMapStrings(const wchar_t* name, unsigned int count) = 0;
    virtual int deleteMapNumbers(const wchar_t* name, unsigned int count) = 0;
    virtual int readDllMap(stubStringToUIntMap& map) = 0;
    virtual int writeDllMap(const wchar_t* tracePath, const stubStringToUIntMap& map) = 0;
};
