#pragma once
// Settings kept as the values of one open registry key, each named by the setting's name.
//
// A key given to attachKey is borrowed and never closed here; only keys the object opened
// itself (openedKeys) are closed, last opened first. Every operation returns non-zero on
// success and 0 on failure; a read that fails leaves the caller's variable untouched, so the
// caller sets its default before reading. Buffer reads are the exception: on failure they leave
// an empty string in the buffer, and on success a terminated one. An operation that fails
// leaves the reason in GetLastError: the registry's result, ERROR_INVALID_HANDLE when the object
// is unbound, ERROR_INVALID_PARAMETER for an argument it refuses.
//
// Values are stored as REG_SZ, REG_BINARY or REG_DWORD only: 64-bit numbers and times are
// REG_DWORD values of 8 bytes, 16-bit numbers REG_DWORD values of 2 bytes.
//
// Collections are families of values named after the collection: "%s_NumItems" and "%s_%d"
// (lists), "[%s]I%u" (number arrays), "[%s]SS%u" (string arrays), "[dll]S%u" and "[dll]I%u" (the
// dll map), "%s_SA_LEN" and "%s_SA_%d" (framework string arrays). A collection name that leaves
// no room in valueNameLength for its decoration and index is refused, never cut (a cut name
// could land on another collection's values): reads find nothing, writes and deletes touch
// nothing.
#include "framework/CString.h"
#include "framework/CollectionClasses.h"
#include "settings/readWriteSettings.h"

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class listElements;

class readWriteSettingsToRegistry : public readWriteSettings {
public:
    // Characters, terminator included, of a composed bracketed value name.
    static constexpr int valueNameLength = 264;

    readWriteSettingsToRegistry();
    ~readWriteSettingsToRegistry() override;

    readWriteSettingsToRegistry(const readWriteSettingsToRegistry&) = delete;
    readWriteSettingsToRegistry& operator=(const readWriteSettingsToRegistry&) = delete;

    void attachKey(HKEY key);
    void closeKeys();
    // Opens (creating where missing) each named key below HKEY_LOCAL_MACHINE in turn, for
    // reading only, and binds the last one; an empty array binds HKEY_LOCAL_MACHINE itself.
    // Writes through such a chain fail with access denied.
    int openKeyPath(const CStringArray& keyNames);

    HKEY getCurrentKey() const { return currentKey; }

    // Fixed-width reads: a longer stored value fails, a shorter one fills only its own leading
    // bytes.
    int readWord(const wchar_t* valueName, short& value) override;
    int readBinary64(const wchar_t* valueName, ULARGE_INTEGER& value) override;
    int readInt64(const wchar_t* valueName, std::int64_t& value) override;
    int readUInt64(const wchar_t* valueName, std::uint64_t& value) override;
    int readDword(const wchar_t* valueName, DWORD& value) override;
    int readDwordA(const char* valueName, DWORD& value);
    int readDouble(const wchar_t* valueName, double& value) override;
    int readUInt(const wchar_t* valueName, unsigned int& value) override;
    int readInt(const wchar_t* valueName, int& value) override;
    int readWideChar(const wchar_t* valueName, wchar_t& value) override;
    int readUChar(const wchar_t* valueName, unsigned char& value) override;
    int readChar(const wchar_t* valueName, char& value) override;
    int readTime(const wchar_t* valueName, time_t& value) override;

    // Any length; the data ends at its first terminator or at the end of the stored bytes.
    int readString(const wchar_t* valueName, stubString& value) override;
    int readStringA(const char* valueName, stubString& value) override;
    int readCString(const wchar_t* valueName, CString& value) override;

    // Reads into the caller's buffer (capacity in bytes for the 8-bit form, in characters for
    // the wide one). The data must leave room for a terminator unless it ends in one; a value
    // that does not fit, like any other failure, leaves an empty string.
    int readTextA(const char* valueName, char* buffer, int capacity) override;
    int readText(const wchar_t* valueName, wchar_t* buffer, int capacity) override;

    // tracePath names a diagnostic trace file or is null; it never changes the result.
    int writeString(const wchar_t* tracePath, const wchar_t* valueName,
                    const stubString& value) override;
    int writeStringA(const wchar_t* tracePath, const char* valueName,
                     const stubString& value) override;
    // A null text stores an empty value without data bytes.
    int writeTextA(const wchar_t* tracePath, const char* valueName, const char* text) override;
    int writeBinary64(const wchar_t* tracePath, const wchar_t* valueName,
                      const ULARGE_INTEGER& value) override;
    int writeCString(const wchar_t* tracePath, const wchar_t* valueName,
                     const CString& value) override;
    int writeInt64(const wchar_t* tracePath, const wchar_t* valueName, std::int64_t value) override;
    int writeUInt64(const wchar_t* tracePath, const wchar_t* valueName,
                    std::uint64_t value) override;
    int writeDword(const wchar_t* tracePath, const wchar_t* valueName, DWORD value) override;
    int writeDouble(const wchar_t* tracePath, const wchar_t* valueName, double value) override;
    int writeWord(const wchar_t* tracePath, const wchar_t* valueName, short value) override;
    int writeUInt(const wchar_t* tracePath, const wchar_t* valueName, unsigned int value) override;
    int writeInt(const wchar_t* tracePath, const wchar_t* valueName, int value) override;
    int writeWideChar(const wchar_t* tracePath, const wchar_t* valueName, wchar_t value) override;
    int writeUChar(const wchar_t* tracePath, const wchar_t* valueName,
                   unsigned char value) override;
    int writeChar(const wchar_t* tracePath, const wchar_t* valueName, char value) override;
    // Stores exactly length characters, a terminator only when length counts one. A negative
    // length, or a null text with a non-zero length, is refused.
    int writeText(const wchar_t* tracePath, const wchar_t* valueName, const wchar_t* text,
                  int length) override;
    int writeTime(const wchar_t* tracePath, const wchar_t* valueName, time_t value) override;

    // The list reads return every stored element whose index is below the stored count, in
    // index order, also when lower elements are missing; empty elements are dropped. The read
    // fails when an element is missing. Elements are looked for among the names the key holds,
    // so a hostile count costs no more than the names there are.
    int readStringList(const wchar_t* name, std::vector<CString>& list) override;
    int writeStringList(const wchar_t* tracePath, const wchar_t* name,
                        const std::vector<CString>& list) override;
    int deleteUIntArray(const wchar_t* tracePath, const wchar_t* name, unsigned int count) override;
    int deleteCollections(const wchar_t* name, unsigned int count) override;
    int deleteStringArray(const wchar_t* name, unsigned int count) override;
    int deleteMapStrings(const wchar_t* name, unsigned int count) override;
    int deleteMapNumbers(const wchar_t* name, unsigned int count) override;

    // Value names that begin with prefix (case-sensitive), each entered as key and value.
    int collectNames(const wchar_t* prefix, stubStringMap& names) override;
    // Each value "[name]I<index>" lands at its index; the array is neither emptied nor shrunk,
    // and entries that a new index skips over become 0. Indices from maxArrayIndex on are
    // ignored, so one hostile value name cannot make the array reserve gigabytes.
    int readUIntArray(CVector<unsigned int>& array, const wchar_t* name) override;
    int writeUIntArray(const wchar_t* tracePath, const CVector<unsigned int>& array,
                       const wchar_t* name) override;
    // Appends in the order of the name map, not of the indices.
    int readStringArray(CPersistStubStringArray& array, const wchar_t* name) override;
    int writeStringArray(const wchar_t* tracePath, const CVector<stubString*>& array,
                         const wchar_t* name) override;
    int readDllMap(stubStringToUIntMap& map) override;
    // Removes the entries 0 to 99 first; entries stored beyond them stay.
    int writeDllMap(const wchar_t* tracePath, const stubStringToUIntMap& map) override;
    static constexpr unsigned int maxArrayIndex = 1048576;

    // Every stored element below the count, in index order, as the list read.
    int readFrameworkStringArray(const wchar_t* name, CStringArray& array);
    int writeFrameworkStringArray(const wchar_t* tracePath, const wchar_t* name,
                                  const CStringArray& array);

    // Appends "'name'\r\n" for every value of the bound key whose name enumerates.
    int listValueNames(stubString& names);
    // Deletes the values of *key (or of its subkey, created when missing) whose names begin
    // with prefix (case-sensitive; every value for a null prefix), however long the names.
    static void deleteRegistryValues(HKEY* key, const wchar_t* subkey, const wchar_t* prefix);
    // Deletes every value and every key below *key (or below its subkey, created when
    // missing); the key itself stays.
    static void emptyRegistryKey(HKEY* key, const wchar_t* subkey);

protected:
    [[nodiscard]] LSTATUS readFixedWidth(const wchar_t* valueName, void* value, DWORD width);
    // Stores one value. A failure is reported into the trace file at tracePath (when given and
    // while diagnostic logging is on), with traceText naming the operation.
    [[nodiscard]] LSTATUS writeValue(const wchar_t* tracePath, const wchar_t* valueName, DWORD type,
                                     const void* data, DWORD byteCount, const char* traceText);
    // A REG_SZ of the characters and their terminator.
    [[nodiscard]] LSTATUS writeStringValue(const wchar_t* tracePath, const wchar_t* valueName,
                                           const wchar_t* text, std::size_t length,
                                           const char* traceText);

    // As writeValue and writeStringValue, also when unbound: the registry refuses, and the
    // refusal is reported.
    [[nodiscard]] LSTATUS setValue(const wchar_t* tracePath, const wchar_t* valueName, DWORD type,
                                   const void* data, DWORD byteCount, const char* traceText);
    [[nodiscard]] LSTATUS setStringValue(const wchar_t* tracePath, const wchar_t* valueName,
                                         const wchar_t* text, std::size_t length,
                                         const char* traceText);
    // Calls visit with every value name of the bound key, however long; no data is fetched.
    void visitValueNames(const std::function<void(const wchar_t*)>& visit);
    void findListElements(listElements& elements);

    static constexpr const wchar_t* numberFormat = L"[%ls]I%u";
    static constexpr const wchar_t* stringArrayFormat = L"[%ls]SS%u";
    static constexpr const wchar_t* mapStringFormat = L"[%ls]S%u";
    // Deletes the values of each family for the indices below count; nothing when a name of
    // a family would not fit.
    void deleteFamilies(const wchar_t* name, unsigned int count,
                        std::initializer_list<const wchar_t*> formats);

    HKEY currentKey;
    CPtrArray openedKeys;
};
