#include "diagnosticsTesting.h"

#include <memory>

namespace {

class logFileErrors : public logFileTest {};

struct localFree {
    void operator()(void* block) const { ::LocalFree(block); }
};

std::string systemTextA(DWORD code) {
    char* text = nullptr;
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, code, 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
    std::unique_ptr<char, localFree> holder(text);
    return text != nullptr ? text : "";
}

std::wstring systemTextW(DWORD code) {
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::unique_ptr<wchar_t, localFree> holder(text);
    return text != nullptr ? text : L"";
}

// An application-defined code: the system has no text for it.
constexpr DWORD codeWithoutText = 0x20001234;

} // namespace

TEST_F(logFileErrors, narrowAndWideRecordsCarryTheSystemTextContextAndName) {
    const std::wstring path = logPath();
    const std::string text = systemTextA(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());

    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "RegSetValueExW", "debugLog");
    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "ctx", (const char*)nullptr);
    std::string expected = text + " : RegSetValueExW : debugLog" + text + " : ctx";
    EXPECT_EQ(expected, readFileBytes(path));

    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "c\xE9", L"n\u0141");
    expected += utf16Bytes(systemTextW(ERROR_ACCESS_DENIED) + L" : c\u00E9 : n\u0141");
    EXPECT_EQ(expected, readFileBytes(path)) << "the context widens byte by byte";
    EXPECT_TRUE(theLogFile.isOpen());
}

TEST_F(logFileErrors, aCodeWithoutSystemTextIsNamedInHex) {
    ASSERT_TRUE(systemTextA(codeWithoutText).empty());
    const std::wstring path = logPath();
    logFile::writeErrorToLogFile(path.c_str(), codeWithoutText, "ctx", "name");
    logFile::writeErrorToLogFile(path.c_str(), codeWithoutText, nullptr, L"w");
    EXPECT_EQ("Unknown error 0x20001234 : ctx : name" +
                  utf16Bytes(L"Unknown error 0x20001234 :  : w"),
              readFileBytes(path));
}

TEST_F(logFileErrors, codeZeroOrErrorTextOffWritesNothing) {
    const std::wstring path = logPath();
    logFile::writeErrorToLogFile(path.c_str(), 0, "ctx", "name");
    logFile::writeErrorToLogFile(path.c_str(), 0, "ctx", L"name");
    logFile::enableErrorText(FALSE);
    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "ctx", "name");
    logFile::writeErrorToLogFile(path.c_str(), ERROR_ACCESS_DENIED, "ctx", L"name");
    EXPECT_FALSE(fileExists(path));
}

TEST_F(logFileErrors, overlongRecordsAreCutToTheRecordBuffer) {
    const std::wstring path = logPath();
    const std::string longContext(5000, 'c');
    logFile::writeErrorToLogFile(path.c_str(), codeWithoutText, longContext.c_str(), "name");
    const std::string head = "Unknown error 0x20001234 : ";
    const std::string expected =
        head + std::string(logFile::errorRecordLength - 1 - head.size(), 'c');
    EXPECT_EQ(expected, readFileBytes(path)) << "no name after a cut context";
}

TEST_F(logFileErrors, aWideCutNeverSplitsASurrogatePair) {
    const std::wstring path = logPath();
    const std::wstring head = L"Unknown error 0x20001234 : ";
    // Leaves room for exactly one code unit of the name after " : ".
    const std::string context(logFile::errorRecordLength - 2 - head.size() - 3, 'c');
    logFile::writeErrorToLogFile(path.c_str(), codeWithoutText, context.c_str(), L"\U0001F600tail");
    const std::wstring expected = head + std::wstring(context.begin(), context.end()) + L" : ";
    EXPECT_EQ(utf16Bytes(expected), readFileBytes(path));

    logFile::writeErrorToLogFile(path.c_str(), codeWithoutText, context.c_str(), L"ab");
    EXPECT_EQ(utf16Bytes(expected) + utf16Bytes(expected + L"a"), readFileBytes(path))
        << "a plain character still takes the last place";
}
