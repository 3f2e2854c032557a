#include "diagnosticsTesting.h"

#include "diagnostics/logFile.h"
#include "diagnostics/logTimer.h"
#include "support/tarnHeap.h"
#include "support/uniqueResource.h"

#include <climits>
#include <functional>
#include <string>

namespace {

using namespace std::string_literals;

struct writeRow {
    const char* name;
    std::function<void(const wchar_t* path)> write;
    std::string expected;
    bool leavesOpen;
};

const unsigned char rawBytes[] = {0x00, 0xFF, 0x0D, 0x0A};

std::vector<writeRow> writeRows() {
    const std::string threadId = hex32Text(::GetCurrentThreadId());
    // Longer than the writer's 8 KiB gather buffer; still one file write.
    static const std::string longText(20000, 't');
    static const std::string longBytes = [] {
        std::string bytes(20000, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7);
        return bytes;
    }();
    return {
        {"long text", [](const wchar_t* p) { logFile::writeToLogFile(p, longText.c_str()); },
         longText, true},
        {"long bytes",
         [](const wchar_t* p) {
             logFile::writeToLogFileBytes(p, longBytes.data(), static_cast<int>(longBytes.size()));
         },
         longBytes, true},
        {"wide indent", [](const wchar_t* p) { logFile::writeIndentToLogFile(p, 20000); },
         std::string(20000, ' '), false},
        {"indent", [](const wchar_t* p) { logFile::writeIndentToLogFile(p, 3); }, "   ", false},
        {"indent of nothing", [](const wchar_t* p) { logFile::writeIndentToLogFile(p, 0); }, "",
         false},
        {"narrow text", [](const wchar_t* p) { logFile::writeToLogFile(p, "text"); }, "text", true},
        {"int", [](const wchar_t* p) { logFile::writeToLogFile(p, -5); }, "-5\r\n", false},
        {"int minimum", [](const wchar_t* p) { logFile::writeToLogFile(p, INT_MIN); },
         "-2147483648\r\n", false},
        {"DWORD", [](const wchar_t* p) { logFile::writeToLogFile(p, DWORD{31}); }, "0x0000001f\r\n",
         true},
        {"64-bit",
         [](const wchar_t* p) { logFile::writeToLogFile(p, ULONGLONG{0xFEDCBA9876543210}); },
         "0xfedcba9876543210\r\n", false},
        {"wide text", [](const wchar_t* p) { logFile::writeToLogFile(p, L"a\u0141c"); },
         utf16Bytes(L"a\u0141c"), true},
        {"string object",
         [](const wchar_t* p) { logFile::writeToLogFile(stubString(p), stubString(L"ab")); },
         utf16Bytes(L"ab"), true},
        {"label and value",
         [](const wchar_t* p) { logFile::writeToLogFile(p, "lbl", ULONGLONG{0x1f}); },
         "lbl 0x000000000000001f\r\n", false},
        {"label and value, left open",
         [](const wchar_t* p) { logFile::writeToLogFile(p, "lbl", ULONGLONG{2}, FALSE); },
         "lbl 0x0000000000000002\r\n", true},
        {"label and value, closed",
         [](const wchar_t* p) { logFile::writeToLogFile(p, "lbl", ULONGLONG{2}, TRUE); },
         "lbl 0x0000000000000002\r\n", false},
        {"wide label narrowed",
         [](const wchar_t* p) { logFile::writeToLogFile(p, L"\u0141b", ULONGLONG{3}, FALSE); },
         "Ab 0x0000000000000003\r\n", true},
        {"timestamp record",
         [](const wchar_t* p) { logFile::writeToLogFile(p, "op", 1ull, 0xAu, 0xBu, FALSE); },
         "op 0x0000000000000001 timestamp:0x0000000a threadid:0x0000000b\r\n", true},
        {"heap record",
         [](const wchar_t* p) { logFile::writeToLogFile(p, "op", 1ull, 2ull, 0xAu, 0xBu, TRUE); },
         "op 0x0000000000000001 heap:0x0000000000000002 timestamp:0x0000000a "
         "threadid:0x0000000b\r\n",
         false},
        {"move record",
         [](const wchar_t* p) {
             logFile::writeToLogFile(p, "op", 1ull, 3ull, 2ull, 0xAu, 0xBu, FALSE);
         },
         "op 0x0000000000000001 -> 0x0000000000000003 heap:0x0000000000000002 "
         "timestamp:0x0000000a threadid:0x0000000b\r\n",
         true},
        {"wide timestamp record",
         [](const wchar_t* p) { logFile::writeToLogFile(p, L"w\u20AC", 1ull, 0xAu, 0xBu, TRUE); },
         "w\xAC 0x0000000000000001 timestamp:0x0000000a threadid:0x0000000b\r\n", false},
        {"wide heap record",
         [](const wchar_t* p) { logFile::writeToLogFile(p, L"w", 1ull, 2ull, 0xAu, 0xBu, FALSE); },
         "w 0x0000000000000001 heap:0x0000000000000002 timestamp:0x0000000a "
         "threadid:0x0000000b\r\n",
         true},
        {"wide move record",
         [](const wchar_t* p) {
             logFile::writeToLogFile(p, L"w", 1ull, 3ull, 2ull, 0xAu, 0xBu, TRUE);
         },
         "w 0x0000000000000001 -> 0x0000000000000003 heap:0x0000000000000002 "
         "timestamp:0x0000000a threadid:0x0000000b\r\n",
         false},
        {"thread id", [](const wchar_t* p) { logFile::writeThreadId(p); }, threadId + "\r\n", true},
        {"optimised narrow", [](const wchar_t* p) { logFile::optimisedOpenWriteClose(p, "n"); },
         "n", true},
        {"optimised wide", [](const wchar_t* p) { logFile::optimisedOpenWriteClose(p, L"w"); },
         utf16Bytes(L"w"), true},
        {"fixed length",
         [](const wchar_t* p) { logFile::writeToLogFileFixedLength(p, rawBytes, 4); },
         "\x00\xFF\r\n"s, false},
        {"fixed length of nothing",
         [](const wchar_t* p) { logFile::writeToLogFileFixedLength(p, rawBytes, 0); }, "", false},
        {"bytes", [](const wchar_t* p) { logFile::writeToLogFileBytes(p, rawBytes, 4); },
         "\x00\xFF\r\n"s, true},
        {"ANSI", [](const wchar_t* p) { logFile::writeToLogFileANSI(p, L"abc"); }, "abc", true},
        {"ANSI low bytes",
         [](const wchar_t* p) { logFile::writeToLogFileANSI(p, L"\u20AC\u0141z"); }, "\xAC\x41z",
         true},
    };
}

class logFileWrites : public logFileTest {};

} // namespace

TEST_F(logFileWrites, eachWriteAppendsItsExactBytesInOneFileWriteAndOpensOrClosesAsSpecified) {
    int index = 0;
    for (const writeRow& row : writeRows()) {
        SCOPED_TRACE(row.name);
        const std::wstring path = logPath((L"row" + std::to_wstring(index++) + L".log").c_str());
        fileWriteSwap counting(&countingFileWrite::write);
        countingFileWrite::calls = 0;

        row.write(path.c_str());
        EXPECT_TRUE(fileExists(path)) << "the first write creates the file";
        EXPECT_EQ(row.expected, readFileBytes(path));
        EXPECT_EQ(row.leavesOpen, theLogFile.isOpen() != FALSE);
        EXPECT_EQ(row.expected.empty() ? 0 : 1, countingFileWrite::calls.load());

        row.write(path.c_str());
        EXPECT_EQ(row.expected + row.expected, readFileBytes(path)) << "appended after";
        theLogFile.closeLogFile();
    }
}

TEST_F(logFileWrites, loggingOffCreatesNothingAndDeletesNothing) {
    logFile::enableLogging(FALSE);
    const std::wstring path = logPath();
    for (const writeRow& row : writeRows()) {
        SCOPED_TRACE(row.name);
        row.write(path.c_str());
        EXPECT_FALSE(fileExists(path));
        EXPECT_FALSE(theLogFile.isOpen());
    }
    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "ctx", "name");
    EXPECT_FALSE(fileExists(path));

    const std::wstring kept = folder.makeFile(L"kept.log", "keep");
    logFile::deleteLogFile(kept.c_str());
    EXPECT_EQ("keep", readFileBytes(kept));

    logFile::enableLogging(TRUE);
    logFile::deleteLogFile(kept.c_str());
    EXPECT_FALSE(fileExists(kept));
}

TEST_F(logFileWrites, deleteLogFileSaysWhetherTheNameIsGoneAndKeepsTheLastError) {
    const std::wstring path = folder / L"shared.log";
    const struct {
        const char* name;
        BOOL logging;
        bool there, heldWithoutDeleteSharing, gone;
    } rows[] = {
        {"deleted", TRUE, true, false, true},
        {"not there", TRUE, false, false, true},
        {"delete refused", TRUE, true, true, false},
        {"logging off, there", FALSE, true, false, false},
        {"logging off, not there", FALSE, false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.there)
            folder.makeFile(L"shared.log", "old");
        uniqueFileHandle other(row.heldWithoutDeleteSharing
                                   ? ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE);
        logFile::enableLogging(row.logging);
        ::SetLastError(0x1234);
        EXPECT_EQ(row.gone, logFile::deleteLogFile(path.c_str()));
        EXPECT_EQ(0x1234u, ::GetLastError());
        EXPECT_EQ(row.gone, ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES);
        other.reset();
        ::DeleteFileW(path.c_str());
    }
    EXPECT_TRUE(logFile::deleteLogFile((folder / L"no such folder\\x.log").c_str()));
}

TEST_F(logFileWrites, callersLastErrorSurvivesEveryWriteAlsoWhenTheOpenFails) {
    const std::wstring good = logPath();
    const std::wstring missingFolder = folder / L"no such folder\\test.log";
    for (const writeRow& row : writeRows()) {
        SCOPED_TRACE(row.name);
        ::SetLastError(0x1234);
        row.write(good.c_str());
        EXPECT_EQ(0x1234u, ::GetLastError());
        theLogFile.closeLogFile();
        EXPECT_EQ(0u, logFile::getLastOpenError()) << "a close clears it";

        ::SetLastError(0x4321);
        row.write(missingFolder.c_str());
        EXPECT_EQ(0x4321u, ::GetLastError());
        EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), logFile::getLastOpenError());
        EXPECT_FALSE(theLogFile.isOpen());
    }
    EXPECT_FALSE(folderExists(folder / L"no such folder"));

    ::SetLastError(0x55);
    logFile::deleteLogFile(good.c_str());
    logFile::writeErrorToLogFile(good.c_str(), ERROR_ACCESS_DENIED, "ctx", L"name");
    logFile::setTimingLogFile(good.c_str());
    logTimer timer("t");
    timer.report();
    logFile::writeFunctionToken(good.c_str(), "f");
    wchar_t token[logFile::tokenBufferLength];
    logFile::getFilenameMapToken(L"file", token);
    EXPECT_EQ(0x55u, ::GetLastError());
}

TEST_F(logFileWrites, aLogThatCannotBeOpenedReportsWhyAndIsNotCreatedAgain) {
    const std::wstring path = logPath();
    const HANDLE other = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    logFile::writeToLogFile(path.c_str(), "lost");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), logFile::getLastOpenError());
    ::CloseHandle(other);
}

TEST_F(logFileWrites, theNextWriteAfterAFailedOpenTriesAgain) {
    const std::wstring path = folder / L"later\\test.log";
    logFile::writeToLogFile(path.c_str(), "lost");
    EXPECT_NE(0u, logFile::getLastOpenError());
    folder.makeFolder(L"later");
    logFile::writeToLogFile(path.c_str(), "kept");
    EXPECT_EQ("kept", readFileBytes(path));
}

TEST_F(logFileWrites, aNewNameTakesEffectAtTheNextOpen) {
    const std::wstring first = logPath(L"first.log");
    const std::wstring second = logPath(L"second.log");
    logFile::writeToLogFile(first.c_str(), "a");
    logFile::writeToLogFile(second.c_str(), "b");
    EXPECT_EQ("ab", readFileBytes(first)) << "the open file keeps receiving";
    EXPECT_FALSE(fileExists(second));
    EXPECT_STREQ(second.c_str(), theLogFile.getFileName());

    logFile::writeToLogFile(second.c_str(), -1);
    logFile::writeToLogFile(second.c_str(), "c");
    EXPECT_EQ("c", readFileBytes(second));
}

TEST_F(logFileWrites, anotherWritersRecordsSurviveOurAppendsAndOurClose) {
    const std::wstring path = logPath();
    appendWithOwnHandle(path, "before\r\n");
    logFile::writeToLogFile(path.c_str(), "ours 1\r\n");
    appendWithOwnHandle(path, "theirs 1\r\n");
    logFile::writeToLogFile(path.c_str(), "ours 2\r\n");
    appendWithOwnHandle(path, "theirs 2\r\n");
    logFile::writeToLogFile(path.c_str(), 7);
    EXPECT_FALSE(theLogFile.isOpen());
    EXPECT_EQ("before\r\nours 1\r\ntheirs 1\r\nours 2\r\ntheirs 2\r\n7\r\n", readFileBytes(path));
}

TEST_F(logFileWrites, badInputGivesNoCrashAndNoFile) {
    const std::wstring path = logPath();
    logFile::writeToLogFile(static_cast<const wchar_t*>(nullptr), "x");
    EXPECT_NE(0u, logFile::getLastOpenError());
    logFile::writeToLogFile(L"", "x");
    EXPECT_NE(0u, logFile::getLastOpenError());

    logFile::writeToLogFile(path.c_str(), static_cast<const char*>(nullptr));
    logFile::writeToLogFile(path.c_str(), static_cast<const wchar_t*>(nullptr));
    logFile::writeToLogFileANSI(path.c_str(), nullptr);
    logFile::writeToLogFileBytes(path.c_str(), nullptr, 10);
    logFile::writeToLogFileBytes(path.c_str(), rawBytes, -4);
    logFile::writeToLogFile(path.c_str(), static_cast<const char*>(nullptr), 1ull, FALSE);
    EXPECT_EQ(" 0x0000000000000001\r\n", readFileBytes(path)) << "only the label is skipped";
}

TEST_F(logFileWrites, pathsLongerThanMaxPathWorkOrFailCleanly) {
    std::wstring path = folder.path() + L"\\";
    path.append(300 - path.size() - 4, L'n');
    path += L".log";
    ASSERT_EQ(300u, path.size());
    ::SetLastError(0x77);
    logFile::writeToLogFile(path.c_str(), -3);
    EXPECT_EQ(0x77u, ::GetLastError());
    if (fileExists(path))
        EXPECT_EQ("-3\r\n", readFileBytes(path));
    else
        EXPECT_NE(0u, logFile::getLastOpenError());

    std::wstring tooLong(40000, L'x');
    logFile::writeToLogFile(tooLong.c_str(), "x");
    EXPECT_FALSE(theLogFile.isOpen());
    EXPECT_EQ(nullptr, theLogFile.getFileName()) << "no copy of an impossible name";
}

TEST_F(logFileWrites, logHeapIsAnnouncedAndOnlyDestroyedWithoutNames) {
    logFile::writeToLogFile(logPath().c_str(), 1);
    const HANDLE heap = logFile::getLogHeap();
    ASSERT_NE(nullptr, heap);
    EXPECT_TRUE(tarnHeaps::isAnnounced(heap));
    EXPECT_NE(getStubHeap(), heap);

    EXPECT_EQ(0, logFile::destroyLogHeap()) << "theLogFile still holds its name";
    logFile::forgetLogFile();
    EXPECT_EQ(nullptr, theLogFile.getFileName());
    ASSERT_EQ(1, logFile::destroyLogHeap());
    EXPECT_FALSE(tarnHeaps::isAnnounced(heap));

    logFile::writeToLogFile(logPath().c_str(), 2);
    EXPECT_EQ("1\r\n2\r\n", readFileBytes(logPath()));
    EXPECT_TRUE(tarnHeaps::isAnnounced(logFile::getLogHeap()));
}

TEST_F(logFileWrites, flushKeepsTheFileOpen) {
    logFile::writeToLogFile(logPath().c_str(), "x");
    EXPECT_TRUE(logFile::flushFileBuffers());
    EXPECT_TRUE(theLogFile.isOpen());
    theLogFile.closeLogFile();
    EXPECT_TRUE(logFile::flushFileBuffers()) << "nothing open is fine";
}

TEST_F(logFileWrites, pieceWritersOnAnObjectOfOurOwnGoStraightToItsFile) {
    logFile own;
    own.setFileName(logPath().c_str());
    own.openLogFile();
    ASSERT_TRUE(own.isOpen());
    own.writeLine(L"a", L"b");
    EXPECT_EQ(utf16Bytes(L"ab\r\n"), readFileBytes(logPath()));
    own.writeLineANSI(L"c", L"\u0144");
    own.writeDecimal(12);
    own.writeHex32(0xABCDEF);
    own.writeSpaces(300);
    EXPECT_EQ(utf16Bytes(L"ab\r\n") + "cD\r\n120x00abcdef" + std::string(300, ' '),
              readFileBytes(logPath()));
    own.closeLogFile();
    EXPECT_FALSE(own.isOpen());
}

TEST_F(logFileWrites, aPipeNamedAsTheLogReceivesTheRecords) {
    const std::wstring pipeName =
        L"\\\\.\\pipe\\logsmith-log-test-" + std::to_wstring(::GetCurrentProcessId());
    uniqueFileHandle pipe(::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_INBOUND,
                                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr));
    ASSERT_TRUE(pipe) << ::GetLastError();

    logFile::writeToLogFile(pipeName.c_str(), 42);
    EXPECT_EQ(0u, logFile::getLastOpenError());

    // Peek first, so a pipe that received nothing fails the test instead of blocking it.
    DWORD available = 0;
    ASSERT_TRUE(::PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr));
    std::string received(available, '\0');
    DWORD read = 0;
    if (available > 0) {
        ASSERT_TRUE(::ReadFile(pipe.get(), received.data(), available, &read, nullptr));
    }
    EXPECT_EQ("42\r\n", received);
}
