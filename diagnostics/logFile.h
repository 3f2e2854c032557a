#pragma once
// The library's diagnostic log writer. One process-wide object, theLogFile, is written by the
// static operations under logLock; every operation leaves the caller's last-error value as it
// found it (flushFileBuffers excepted). Logging is off until enableLogging(TRUE).
//
// The file has no header: each write appends narrow text, UTF-16LE text or ANSI text (the low
// byte of each UTF-16 code unit); numbers are narrow text ("0x" and 8 or 16 lower-case digits,
// or signed decimal); line ends are CR LF.
#include "diagnostics/stubSyncObject.h"
#include "support/stubMapStringToPtr.h"
#include "support/stubString.h"

#include <windows.h>

#include <cstddef>

class logFile {
public:
    logFile() = default;
    // Abandons the open handle (when logging is on) and frees the name.
    ~logFile();

    logFile(const logFile&) = delete;
    logFile& operator=(const logFile&) = delete;

    // Writes of theLogFile. Each names the log file; rows marked "closes" close it afterwards,
    // the others leave it open for the next write.
    static void writeIndentToLogFile(const wchar_t* path, unsigned count); // closes
    static void writeToLogFile(const wchar_t* path, const char* text);
    static void writeToLogFile(const wchar_t* path, int value); // decimal, closes
    static void writeToLogFile(const wchar_t* path, DWORD value);
    static void writeToLogFile(const wchar_t* path, unsigned __int64 value); // closes
    static void writeToLogFile(const wchar_t* path, const wchar_t* text);
    static void writeToLogFile(const stubString& path, const stubString& text);
    static void writeToLogFile(const wchar_t* path, const char* label,
                               unsigned __int64 value); // closes
    static void writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                               BOOL close);
    static void writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                               BOOL close);
    static void writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                               DWORD timestamp, DWORD threadId, BOOL close);
    static void writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                               unsigned __int64 heap, DWORD timestamp, DWORD threadId, BOOL close);
    static void writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                               unsigned __int64 value2, unsigned __int64 heap, DWORD timestamp,
                               DWORD threadId, BOOL close);
    static void writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                               DWORD timestamp, DWORD threadId, BOOL close);
    static void writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                               unsigned __int64 heap, DWORD timestamp, DWORD threadId, BOOL close);
    static void writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                               unsigned __int64 value2, unsigned __int64 heap, DWORD timestamp,
                               DWORD threadId, BOOL close);
    static void writeThreadId(const wchar_t* path);
    static void optimisedOpenWriteClose(const wchar_t* path, const char* text);
    static void optimisedOpenWriteClose(const wchar_t* path, const wchar_t* text);
    static void writeToLogFileFixedLength(const wchar_t* path, const void* data,
                                          int length); // closes
    static void writeToLogFileBytes(const wchar_t* path, const void* data, int length);
    static void writeToLogFileANSI(const wchar_t* path, const wchar_t* text);

    // Runs whatever the logging switch; non-zero when the lock was released normally. Does not
    // keep the last-error value.
    static BOOL flushFileBuffers();

    static void enableLogging(BOOL on);
    static BOOL isLoggingEnabled();
    // Switch for writeErrorToLogFile; on at start.
    static void enableErrorText(BOOL on);
    // The pointer is kept, not the text: the caller keeps the string alive.
    static void setTimingLogFile(const wchar_t* path);
    // Deletes only while logging is on. True when no file of that name exists afterwards;
    // false when one is still there (a refused delete, e.g. another account's log or one open
    // without delete sharing; or logging off) and for a null path. Keeps the last-error value.
    static bool deleteLogFile(const wchar_t* path);
    // The destructor's step on theLogFile.
    static void forgetLogFile();
    // System error code of the last failed open; 0 after a successful close.
    static DWORD getLastOpenError();

    // One record: the system's text for errorCode (or "Unknown error 0x%08x"), " : ", context,
    // and " : " name when name is given; no line end is added. Cut at a character boundary
    // when longer than errorRecordLength - 1 characters.
    static void writeErrorToLogFile(const wchar_t* path, DWORD errorCode, const char* context,
                                    const char* name);
    static void writeErrorToLogFile(const wchar_t* path, DWORD errorCode, const char* context,
                                    const wchar_t* name);
    static constexpr int errorRecordLength = 3000;

    // Names become numbered tokens in order of first use, from 1: Function_0x00000001,
    // FilenameMap_0x00000001 (wide) or Filename_0x00000001 (written to the log). The buffer
    // must hold tokenBufferLength characters. A null name gives no token.
    static void getFunctionToken(const wchar_t* name, wchar_t* buffer);
    static void getFilenameMapToken(const wchar_t* name, wchar_t* buffer);
    static void writeFunctionToken(const wchar_t* path, const wchar_t* name);
    static void writeFunctionToken(const wchar_t* path, const char* name);
    static void writeFilenameToken(const wchar_t* path, const wchar_t* name);
    static constexpr int tokenBufferLength = 24;

    // prefix, "0x", two lower-case digits per byte, suffix. The buffer must be large enough;
    // a null buffer is left alone, a null prefix or suffix is skipped.
    static void formatHex(BYTE value, char* buffer, const char* prefix, const char* suffix);
    static void formatHex(WORD value, char* buffer, const char* prefix, const char* suffix);
    static void formatHex(DWORD value, char* buffer, const char* prefix, const char* suffix);
    static void formatHex(unsigned __int64 value, char* buffer, const char* prefix,
                          const char* suffix);
    static void formatHex(BYTE value, wchar_t* buffer, const wchar_t* prefix,
                          const wchar_t* suffix);
    static void formatHex(WORD value, wchar_t* buffer, const wchar_t* prefix,
                          const wchar_t* suffix);
    static void formatHex(DWORD value, wchar_t* buffer, const wchar_t* prefix,
                          const wchar_t* suffix);
    static void formatHex(unsigned __int64 value, wchar_t* buffer, const wchar_t* prefix,
                          const wchar_t* suffix);
    // prefix, unsigned decimal without leading zeros, suffix.
    static void formatDecimal(unsigned value, char* buffer, const char* prefix, const char* suffix);
    static void formatDecimal(unsigned value, wchar_t* buffer, const wchar_t* prefix,
                              const wchar_t* suffix);

    // The log heap holds the name copies. It is created on first need and announced to the
    // support library; destroying it fails (0) while any name copy is still alive.
    static HANDLE getLogHeap();
    static int destroyLogHeap();

    // Tests swap the file write to watch or stall it; set it only while no write runs.
    using fileWriteFunction = BOOL(WINAPI*)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                            LPOVERLAPPED overlapped);
    static fileWriteFunction setFileWriteFunction(fileWriteFunction writer);

    // Instance operations, without the lock.
    // Keeps the name and the handle when path equals the current name; otherwise takes a copy.
    // An open handle stays open: the new name is used by the next open.
    void setFileName(const wchar_t* path);
    void setFileName(const stubString& path);
    // Only while logging is on.
    void freeFileName();
    const wchar_t* getFileName() const { return fileName; }
    // Opens for appending when closed; sets lastOpenError on failure.
    void openLogFile();
    // Only while logging is on.
    void closeLogFile();
    BOOL isOpen() const { return fileHandle != INVALID_HANDLE_VALUE ? TRUE : FALSE; }

    // Piece writers. Inside a public write the pieces are gathered and written at once;
    // called directly, each goes to the file at once. All but writeText(const wchar_t*) do
    // nothing while logging is off; a null or empty text is skipped.
    void writeText(const char* text);
    void writeText(const wchar_t* text);
    void writeText(const stubString& text);
    void writeAnsi(const wchar_t* text);
    // length raw bytes; nothing for a negative length or null data. The two forms differ only
    // in name now: with pieces gathered, a zero length never reaches the file in either.
    void writeBytes(const void* data, int length);
    void writeFixedLength(const void* data, int length);
    void writeHex32(DWORD value);
    void writeHex64(unsigned __int64 value);
    void writeDecimal(int value);
    void writeSpaces(unsigned count);
    // Two texts and a line end, as UTF-16LE or as ANSI.
    void writeLine(const wchar_t* first, const wchar_t* second);
    void writeLineANSI(const wchar_t* first, const wchar_t* second);

private:
    friend class logRecord;

    bool mayWritePiece() const;
    void append(const void* data, size_t size);
    void flushPending();
    char* gatherBuffer() { return longRecord != nullptr ? longRecord : pending; }
    size_t gatherCapacity() const {
        return longRecord != nullptr ? longRecordCapacity : pendingCapacity;
    }
    // Moves the gathered bytes into a log-heap block with room for extra more; false when
    // that cannot be had.
    bool growGatherBuffer(size_t extra);
    void releaseLongRecord();
    void takeFileName(const wchar_t* path, size_t length);
    // Frees the name copy, whatever the logging switch.
    void releaseFileName();

    wchar_t* fileName = nullptr;
    HANDLE fileHandle = INVALID_HANDLE_VALUE;

    // One public write's pieces are gathered and reach the file in one write, so no other
    // writer's record can land inside ours. Common records fit the inline buffer; a longer one
    // is gathered in a block of the log heap that goes once the record is written.
    static constexpr size_t pendingCapacity = 8192;
    int gathering = 0;
    size_t pendingSize = 0;
    char* longRecord = nullptr;
    size_t longRecordCapacity = 0;
    char pending[pendingCapacity];
};

extern stubCriticalSection logLock;
extern logFile theLogFile;
extern stubCriticalSection functionNameMapLock;
extern stubMapStringToPtr functionNameMap;
extern stubCriticalSection fileNameMapLock;
extern stubMapStringToPtr fileNameMap;
