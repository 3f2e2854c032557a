#include "diagnosticsTesting.h"

#include "diagnostics/logWriter.h"

#include <functional>
#include <string>

namespace {

class logWriterTest : public logFileTest {};

} // namespace

TEST_F(logWriterTest, theNameSaysWhetherTheFileIsClosed) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::function<void(const std::wstring&)> write;
        std::string expected;
        bool leavesOpen;
    } rows[] = {
        {"text", [](auto& p) { logWriter::append(p, "a\0b"s); }, "a\0b"s, true},
        {"text, closed", [](auto& p) { logWriter::appendAndClose(p, "ab"); }, "ab", false},
        {"wide text", [](auto& p) { logWriter::append(p, L"\u0141"); }, utf16Bytes(L"\u0141"),
         true},
        {"wide text, closed", [](auto& p) { logWriter::appendAndClose(p, L"x"); }, utf16Bytes(L"x"),
         false},
        {"label and value", [](auto& p) { logWriter::append(p, "n", 31); },
         "n 0x000000000000001f\r\n", true},
        {"label and value, closed", [](auto& p) { logWriter::appendAndClose(p, "n", ~0ull); },
         "n 0xffffffffffffffff\r\n", false},
        {"nothing, closed", [](auto& p) { logWriter::appendAndClose(p, ""); }, "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring path = logPath();
        ::DeleteFileW(path.c_str());
        ::SetLastError(0x1234);
        row.write(path);
        EXPECT_EQ(0x1234u, ::GetLastError());
        EXPECT_EQ(row.leavesOpen, theLogFile.isOpen() != FALSE);
        logWriter::close();
        EXPECT_FALSE(theLogFile.isOpen());
        EXPECT_EQ(row.expected, readFileBytes(path));
    }
    logWriter::append(logPath(L"cut") + L'\0' + L".log", "lost");
    EXPECT_FALSE(fileExists(logPath(L"cut")));
}
