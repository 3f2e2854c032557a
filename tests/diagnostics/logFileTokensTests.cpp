#include "diagnosticsTesting.h"

#include "diagnostics/logTimer.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <cwchar>
#include <regex>

namespace {

class logFileTokens : public logFileTest {};
class logTimerReport : public logFileTest {};

std::wstring expectedToken(const wchar_t* prefix, int number) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%ls0x%08x", prefix, number);
    return text;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

LONGLONG counterNow() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

} // namespace

TEST_F(logFileTokens, namesAreNumberedInOrderOfFirstUse) {
    const int before = functionNameMap.GetCount();
    wchar_t first[logFile::tokenBufferLength];
    wchar_t second[logFile::tokenBufferLength];
    wchar_t again[logFile::tokenBufferLength];
    logFile::getFunctionToken(L"tokens::first", first);
    logFile::getFunctionToken(L"tokens::second", second);
    logFile::getFunctionToken(L"tokens::first", again);
    EXPECT_EQ(expectedToken(L"Function_", before + 1), first);
    EXPECT_EQ(expectedToken(L"Function_", before + 2), second);
    EXPECT_STREQ(first, again);
    EXPECT_EQ(before + 2, functionNameMap.GetCount());

    wchar_t caseDiffers[logFile::tokenBufferLength];
    logFile::getFunctionToken(L"TOKENS::FIRST", caseDiffers);
    EXPECT_EQ(expectedToken(L"Function_", before + 3), caseDiffers) << "names compare exactly";
}

TEST_F(logFileTokens, writtenTokensShareTheNumbersAndGoToTheLogWithoutLineEnd) {
    const std::wstring path = logPath();
    const int functions = functionNameMap.GetCount();
    const int files = fileNameMap.GetCount();

    logFile::writeFunctionToken(path.c_str(), L"tokens::written");
    logFile::writeFunctionToken(path.c_str(), "tokens::written");
    logFile::writeFilenameToken(path.c_str(), L"C:\\src\\written.cpp");
    wchar_t mapToken[logFile::tokenBufferLength];
    logFile::getFilenameMapToken(L"C:\\src\\written.cpp", mapToken);

    const std::string function = narrow(expectedToken(L"Function_", functions + 1));
    EXPECT_EQ(function + function + narrow(expectedToken(L"Filename_", files + 1)),
              readFileBytes(path));
    EXPECT_EQ(expectedToken(L"FilenameMap_", files + 1), mapToken);
    EXPECT_TRUE(theLogFile.isOpen());
}

TEST_F(logFileTokens, nullNamesGiveNoToken) {
    const std::wstring path = logPath();
    const int functions = functionNameMap.GetCount();
    const int files = fileNameMap.GetCount();
    wchar_t token[logFile::tokenBufferLength] = L"untouched";
    logFile::getFunctionToken(nullptr, token);
    EXPECT_STREQ(L"", token);
    logFile::getFilenameMapToken(L"x", nullptr);
    EXPECT_EQ(files, fileNameMap.GetCount()) << "no number is taken for a token nobody gets";
    logFile::writeFunctionToken(path.c_str(), static_cast<const char*>(nullptr));
    logFile::writeFunctionToken(path.c_str(), static_cast<const wchar_t*>(nullptr));
    logFile::writeFilenameToken(path.c_str(), nullptr);
    EXPECT_EQ(functions, functionNameMap.GetCount());
    EXPECT_FALSE(fileExists(path));
}

TEST(logFileFormat, hexAndDecimalNarrowAndWide) {
    char narrowText[64];
    wchar_t wideText[64];
    const struct {
        std::function<void()> format;
        const char* expected;
    } narrowRows[] = {
        {[&] { logFile::formatHex(BYTE{0xAB}, narrowText, nullptr, nullptr); }, "0xab"},
        {[&] { logFile::formatHex(WORD{0x1f}, narrowText, "v=", ";"); }, "v=0x001f;"},
        {[&] { logFile::formatHex(DWORD{0}, narrowText, "", nullptr); }, "0x00000000"},
        {[&] { logFile::formatHex(ULONGLONG{0x0123456789ABCDEF}, narrowText, "[", "]"); },
         "[0x0123456789abcdef]"},
        {[&] { logFile::formatDecimal(0u, narrowText, nullptr, nullptr); }, "0"},
        {[&] { logFile::formatDecimal(4294967295u, narrowText, "n=", "."); }, "n=4294967295."},
    };
    for (const auto& row : narrowRows) {
        std::memset(narrowText, 'z', sizeof(narrowText));
        row.format();
        EXPECT_STREQ(row.expected, narrowText);
    }

    const struct {
        std::function<void()> format;
        const wchar_t* expected;
    } wideRows[] = {
        {[&] { logFile::formatHex(BYTE{0x0F}, wideText, L"b", nullptr); }, L"b0x0f"},
        {[&] { logFile::formatHex(WORD{0xBEEF}, wideText, nullptr, L"h"); }, L"0xbeefh"},
        {[&] { logFile::formatHex(DWORD{0xDEADBEEF}, wideText, L"v=", L";"); }, L"v=0xdeadbeef;"},
        {[&] { logFile::formatHex(~ULONGLONG{0}, wideText, nullptr, nullptr); },
         L"0xffffffffffffffff"},
        {[&] { logFile::formatDecimal(1234567u, wideText, L"<", L">"); }, L"<1234567>"},
    };
    for (const auto& row : wideRows) {
        std::wmemset(wideText, L'z', 64);
        row.format();
        EXPECT_STREQ(row.expected, wideText);
    }

    logFile::formatHex(DWORD{1}, static_cast<char*>(nullptr), "p", "s");
    logFile::formatDecimal(1u, static_cast<wchar_t*>(nullptr), L"p", L"s");
}

TEST_F(logTimerReport, appendsLabelsAndElapsedTicksToTheTimingLog) {
    const std::wstring path = logPath(L"timing.log");
    logFile::setTimingLogFile(path.c_str());

    const LONGLONG before = counterNow();
    logTimer timer("load", "settings");
    timer.report();
    const LONGLONG after = counterNow();
    timer.report(); // the labels are gone now
    logTimer bare;
    bare.report();

    const std::string bytes = readFileBytes(path);
    std::smatch match;
    const std::regex shape("load settings (0x[0-9a-f]{16})\r\n(0x[0-9a-f]{16})\r\n"
                           "(0x[0-9a-f]{16})\r\n");
    ASSERT_TRUE(std::regex_match(bytes, match, shape)) << bytes;
    const unsigned long long elapsed = std::stoull(match[1].str(), nullptr, 16);
    EXPECT_LE(elapsed, static_cast<unsigned long long>(after - before));
    EXPECT_GE(std::stoull(match[2].str(), nullptr, 16), elapsed) << "counted from the start";
    EXPECT_TRUE(theLogFile.isOpen());
}

TEST_F(logTimerReport, writesNothingWithoutATimingLog) {
    fileWriteSwap counting(&countingFileWrite::write);
    countingFileWrite::calls = 0;
    logTimer timer("label");
    ::SetLastError(0x99);
    timer.report();
    EXPECT_EQ(0x99u, ::GetLastError());
    EXPECT_EQ(0, countingFileWrite::calls.load());
}
