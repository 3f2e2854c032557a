#pragma once
// Settings kept as named records in memory and stored whole in one binary settings file.
//
// The file: a 32-bit record count, then the records in name order (16-bit code unit by code
// unit), each as settingRecord lays it out; no header, no padding, nothing after the last
// record. Numbers are records of type 4 (REG_DWORD) whose size is the width of the setting's
// type; strings are records of type 1 (REG_SZ) holding UTF-16 text and its terminating zero.
// Names are exact and case-sensitive.
//
// Nothing reaches the disk until flush or the destructor saves the whole store to the file
// name. A save replaces the file in one step (replaceFileInOneStep), so the file is always either
// the old or the new image, keeps its attributes (and its access control list where the user may
// write access lists), and no temporary outlives a killed save.
//
// What a load found decides the next save to that name:
// - a file that could not be read at all (still held by another process after about a second
//   of retries, access denied, an I/O error, memory running out): the store does not know what
//   the file holds, so save and flush to that name fail with the load's error and touch
//   nothing, until that name is loaded successfully or set again with setFileName;
// - a file that was read but found damaged: the save first keeps the old file as name + ".bak",
//   so what was still readable can be recovered by hand;
// - a missing file: nothing; the save creates it.
#include "platform/fileReplacement.h"
#include "settings/readWriteSettings.h"
#include "settings/settingRecord.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

class fileBuffer;

// Orders names by code unit and finds a const wchar_t* name without building a string.
struct recordNameOrder {
    using is_transparent = void;
    bool operator()(const std::wstring& left, const std::wstring& right) const {
        return left < right;
    }
    bool operator()(const std::wstring& left, const wchar_t* right) const;
    bool operator()(const wchar_t* left, const std::wstring& right) const;
};

class readWriteSettingsToFile : public readWriteSettings {
public:
    readWriteSettingsToFile();
    // Saves to the file name when one is set (as flush), then releases everything. A failed save
    // is reported on the debugger output (the file, the error code and its text); call flush
    // first to learn the result.
    ~readWriteSettingsToFile() override;

    // A null name leaves the store without one; setting a name neither reads nor writes, but
    // lifts a refusal to save over that file after a failed load.
    int setFileName(const wchar_t* name);
    // Each byte becomes the 16-bit character of the same value.
    int setFileName(const char* name);
    const wchar_t* getFileName() const { return fileName.get(); }

    // Replaces the contents with the file's. The name is not kept: flush (and the destructor)
    // write nothing until setFileName. Non-zero when the file and its record count could
    // be read; a damaged record ends the load, keeping the records before it. A failed load
    // leaves the store empty. A file that another process holds is retried for about a second.
    int load(const wchar_t* name);
    // The same from an image in memory, read from its start. complete (when given) tells
    // whether every byte of the image was taken up by the records its count announced.
    int loadFromBuffer(fileBuffer& buffer, bool* complete = nullptr);
    // Writes the whole store to the file, replacing it in one step; on failure the old file is
    // untouched, GetLastError holds the failing call's code and the result is 0. Refused with
    // the load's error after a load that could not read this file.
    int save(const wchar_t* name);
    // Appends the file image to the buffer.
    int saveToBuffer(fileBuffer& buffer) const;

    void clear();
    settingRecord* findRecord(const wchar_t* name) const;
    // Stores a value under exactly this name, replacing any earlier record of it. Null when the
    // record cannot be stored (no memory, a null name, or no value bytes: a record without
    // value bytes could not be read back from the file).
    settingRecord* setRecord(const wchar_t* name, DWORD valueType, DWORD valueSize,
                             const void* value);
    // The name is converted with stubString's 8-bit conversion.
    settingRecord* setRecord(const char* name, DWORD valueType, DWORD valueSize, const void* value);
    int removeRecord(const wchar_t* name);
    std::size_t getRecordCount() const { return records.size(); }
    // The count difference, else the first record that differs; 0 when equal.
    int compare(const readWriteSettingsToFile& other) const;
    // Every record as a value of key, type and bytes unchanged; 0 when any write failed.
    int exportToRegistry(HKEY key) const;

    int flush() override;
    // Not supported by this backend: 0, and the map is left as it is.
    int collectNames(const wchar_t* prefix, stubStringMap& names) override;

    int readWord(const wchar_t* valueName, short& value) override;
    int readString(const wchar_t* valueName, stubString& value) override;
    int readStringA(const char* valueName, stubString& value) override;
    int readStringList(const wchar_t* valueName, std::vector<CString>& list) override;
    int readBinary64(const wchar_t* valueName, ULARGE_INTEGER& value) override;
    int readCString(const wchar_t* valueName, CString& value) override;
    int readInt64(const wchar_t* valueName, std::int64_t& value) override;
    int readUInt64(const wchar_t* valueName, std::uint64_t& value) override;
    int readDword(const wchar_t* valueName, DWORD& value) override;
    int readDouble(const wchar_t* valueName, double& value) override;
    int readUInt(const wchar_t* valueName, unsigned int& value) override;
    int readInt(const wchar_t* valueName, int& value) override;
    int readWideChar(const wchar_t* valueName, wchar_t& value) override;
    int readUChar(const wchar_t* valueName, unsigned char& value) override;
    int readChar(const wchar_t* valueName, char& value) override;
    // Name and text widened byte by byte, each to the character of the same value; the text is
    // read back by taking each character's low byte.
    int readTextA(const char* valueName, char* buffer, int capacity) override;
    int readText(const wchar_t* valueName, wchar_t* buffer, int capacity) override;
    int readTime(const wchar_t* valueName, time_t& value) override;

    int writeString(const wchar_t* tracePath, const wchar_t* valueName,
                    const stubString& value) override;
    int writeStringA(const wchar_t* tracePath, const char* valueName,
                     const stubString& value) override;
    int writeTextA(const wchar_t* tracePath, const char* valueName, const char* text) override;
    int writeStringList(const wchar_t* tracePath, const wchar_t* valueName,
                        const std::vector<CString>& list) override;
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
    int writeText(const wchar_t* tracePath, const wchar_t* valueName, const wchar_t* text,
                  int length) override;
    int writeTime(const wchar_t* tracePath, const wchar_t* valueName, time_t value) override;

    int readUIntArray(CVector<unsigned int>& array, const wchar_t* name) override;
    int writeUIntArray(const wchar_t* tracePath, const CVector<unsigned int>& array,
                       const wchar_t* name) override;
    int deleteUIntArray(const wchar_t* tracePath, const wchar_t* name, unsigned int count) override;
    int deleteCollections(const wchar_t* name, unsigned int count) override;
    int readStringArray(CPersistStubStringArray& array, const wchar_t* name) override;
    int writeStringArray(const wchar_t* tracePath, const CVector<stubString*>& array,
                         const wchar_t* name) override;
    int deleteStringArray(const wchar_t* name, unsigned int count) override;
    int deleteMapStrings(const wchar_t* name, unsigned int count) override;
    int deleteMapNumbers(const wchar_t* name, unsigned int count) override;
    int readDllMap(stubStringToUIntMap& map) override;
    int writeDllMap(const wchar_t* tracePath, const stubStringToUIntMap& map) override;

private:
    struct recordDeleter {
        void operator()(settingRecord* record) const noexcept { delete record; }
    };
    using recordMap =
        std::map<std::wstring, std::unique_ptr<settingRecord, recordDeleter>, recordNameOrder>;

    // A number record of exactly this width, or a failure that leaves value untouched.
    int readNumber(const wchar_t* valueName, void* value, DWORD width) const;
    int writeNumber(const wchar_t* valueName, const void* value, DWORD width);
    // A string record's text: up to its first zero character or the end of its bytes.
    const settingRecord* findText(const wchar_t* valueName, std::size_t& length) const;
    int writeTextRecord(const wchar_t* valueName, const wchar_t* text, std::size_t characters);
    int removeComposed(const wchar_t* tag, const wchar_t* name, unsigned int count);

    // What the next save to a file must respect: noteKeepOldFile, or the error of a load that
    // could not read it (saving refused).
    static constexpr DWORD noteNone = 0;
    static constexpr DWORD noteKeepOldFile = 0xFFFFFFFF;
    struct fileNote {
        std::wstring path; // full path
        DWORD note;
    };
    // noteNone forgets what was noted for the file.
    void noteFile(const wchar_t* name, DWORD note);
    DWORD noteOn(const std::wstring& fullName) const;
    void forgetNote(const std::wstring& fullName);
    void forgetRefusal(const wchar_t* name);

    recordMap records;
    std::unique_ptr<wchar_t[]> fileName;
    std::vector<fileNote> fileNotes;
    // A refusal that could not be noted for its file holds for every file.
    DWORD unrecordedRefusal = 0;
};

// Test seam: the file calls of save (create the temporary file, write, flush, close, rename it
// over the target). Null members restore the system's functions; the previous set is returned.
using settingsFileCalls = fileReplaceCalls;
settingsFileCalls setSettingsFileCalls(settingsFileCalls calls);
