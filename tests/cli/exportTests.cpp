// export: a file the system's reg tool reads back, written whole or not at all.
#include "tests/cli/cliTesting.h"

#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "platform/fileFunctions.h"

#include <cstring>
#include <functional>

// One file holds two names, one per profile.
void logsmithctl::exportAndImport(const std::wstring& userFile, const std::wstring& defaultFile) {
    store(HKEY_CURRENT_USER, userKey, logInTargetAndGui, userFile, 0);
    store(HKEY_USERS, defaultKey, logInGui, defaultFile, 1);
    const std::wstring exported = m_folder / L"settings.reg";
    ASSERT_EQ(0, tool({L"export", exported}).code);

    // The system's reg tool runs outside this process's redirected roots: point the file's
    // sections at the scratch keys behind them, leaving every value line as exported.
    uniqueFileHandle in(
        ::CreateFileW(exported.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(65536, '\0');
    DWORD read = 0;
    ::ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    in.reset();
    ASSERT_GE(read, 2u);
    ASSERT_EQ("\xFF\xFE", bytes.substr(0, 2));
    std::wstring text((read - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    EXPECT_EQ(0u, text.find(L"Windows Registry Editor Version 5.00\r\n\r\n["));
    for (const auto& [from, to] :
         {std::pair<std::wstring, std::wstring>{
              L"[HKEY_CURRENT_USER\\", L"[HKEY_CURRENT_USER\\" + scratchPath() + L"\\HKCU\\"},
          {L"[HKEY_USERS\\", L"[HKEY_CURRENT_USER\\" + scratchPath() + L"\\HKU\\"}})
        text.replace(text.find(from), from.size(), to);
    const std::wstring redirected = m_folder / L"redirected.reg";
    uniqueFileHandle out(
        ::CreateFileW(redirected.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string redirectedBytes = "\xFF\xFE";
    redirectedBytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    DWORD written = 0;
    ::WriteFile(out.get(), redirectedBytes.data(), static_cast<DWORD>(redirectedBytes.size()),
                &written, nullptr);
    out.reset();

    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick"));
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT"));
    wchar_t system[MAX_PATH];
    ASSERT_NE(0u, ::GetSystemDirectoryW(system, MAX_PATH));
    const result imported =
        runProcess(std::wstring(L"\"") + system + L"\\reg.exe\" import \"" + redirected + L"\"",
                   m_folder / L"reg-output.txt");
    ASSERT_EQ(0, imported.code) << imported.out;
    expectStored(HKEY_CURRENT_USER, userKey, logInTargetAndGui, userFile, 0);
    expectStored(HKEY_USERS, defaultKey, logInGui, defaultFile, 1);
    for (const auto& [root, key] :
         {std::pair{HKEY_CURRENT_USER, userKey}, {HKEY_USERS, defaultKey}}) {
        uniqueHkey product;
        DWORD values = 0;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(root, key, 0, KEY_READ, product.put()));
        ::RegQueryInfoKeyW(product.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(3u, values) << "no value may be added or lost";
    }
}

tempFolder m_folder;
folderPathLookup m_previousLookup = nullptr;

TEST_F(logsmithctl, exportIsReadBackByTheSystemsRegImport) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"C:\\logs\\with \"quotes\" and \\\\server\\share.log", L""},
        {L"C:\\x\r\n@=dword:00000bad\r\n", L"C:\\a\rb"},
        {L"C:\\a\nb", L"C:\\a\tb"},
        {L"C:\\a\x1b[31mb", L"C:\\a\u2028b"},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        SCOPED_TRACE(row);
        exportAndImport(rows[row].first, rows[row].second);
    }
}

BOOL WINAPI diskFullWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
    *written = 0;
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(logsmithctl, exportWritesTheWholeFileOrNothing) {
    const std::wstring target = m_folder / L"old.reg";
    const struct {
        const char* name;
        std::function<void()> arrange;
        fileWriteCall writer;
        int code;
        std::wstring message;
        bool replaced;
    } rows[] = {
        {"disk full", [] { store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 1); },
         &diskFullWrite, 1, L"old.reg: " + systemErrorText(ERROR_DISK_FULL), false},
        {"nothing stored", [] {}, nullptr, 1, L"nothing to export", false},
        {"a value missing",
         [] {
             const DWORD mode = logInGui;
             writeRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue, REG_DWORD, &mode,
                           sizeof(mode));
         },
         nullptr, 0, L"debugLogFile is not stored", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
        writeBytes(target, "old");
        row.arrange();
        const fileWriteCall previous = setFileWriteCall(row.writer);
        const result exported = tool({L"export", target, L"--scope", L"user"});
        setFileWriteCall(previous);
        EXPECT_EQ(row.code, exported.code);
        EXPECT_NE(std::wstring::npos, exported.err.find(row.message)) << exported.err;
        EXPECT_EQ(row.replaced, readBytes(target) != "old");
        WIN32_FIND_DATAW found{};
        uniqueFindHandle leftovers(::FindFirstFileW((m_folder / L"*.tmp").c_str(), &found));
        EXPECT_FALSE(leftovers) << "a temporary file remains";
    }
}
