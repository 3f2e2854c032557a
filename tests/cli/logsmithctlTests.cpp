#include "cli/logsmithctl.h"
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/machineProfiles.h"
#include "cli/systemFacts.h"
#include "logsmithVersion.h"

#include "app/loggingSettings.h"
#include "platform/knownFolders.h"
#include "platform/fileFunctions.h"
#include "platform/osVersion.h"
#include "settings/readWriteSettingsToFile.h"
#include "support/uniqueResource.h"
#include "tests/cli/cliTesting.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <nlohmann/json.hpp>

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <sstream>

namespace {

void writeBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct result {
    int code;
    std::wstring out;
    std::wstring err;
};

// Starts a program with its standard output in a file; null when it cannot be started.
uniqueKernelHandle startProcess(const std::wstring& commandLine, const std::wstring& outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    uniqueFileHandle output(::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          &inherit, CREATE_ALWAYS, 0, nullptr));
    uniqueFileHandle input(
        ::CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION child{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &child))
        return {};
    uniqueKernelHandle thread(child.hThread);
    return uniqueKernelHandle(child.hProcess);
}

// Waits for a started program; its exit code and output.
result finishProcess(const uniqueKernelHandle& process, const std::wstring& outputFile) {
    if (!process)
        return {-1, L"", L"cannot start the program"};
    if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 0xFFFF);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    uniqueFileHandle file(::CreateFileW(outputFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    std::string bytes(65536, '\0');
    DWORD read = 0;
    ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return {static_cast<int>(code), fromUtf8(bytes), L""};
}

result runProcess(const std::wstring& commandLine, const std::wstring& outputFile) {
    return finishProcess(startProcess(commandLine, outputFile), outputFile);
}

class logsmithctl : public scratchRegistry {
protected:
    void SetUp() override {
        scratchRegistry::SetUp();
        g_appData = m_folder.path();
        m_previousLookup = setFolderPathLookup(&testFolderLookup);
    }
    void TearDown() override {
        setFolderPathLookup(m_previousLookup);
        scratchRegistry::TearDown();
    }

    result tool(std::initializer_list<std::wstring> arguments) {
        stringOutput out;
        stringOutput err;
        const int code = run(arguments, out, err);
        return {code, out.text(), err.text()};
    }

    static void store(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                      DWORD flag) {
        writeRawValue(root, key, debugDataTransferValue, REG_DWORD, &mode, sizeof(mode));
        writeRawValue(root, key, debugLogFileValue, REG_SZ, file.c_str(),
                      static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
        writeRawValue(root, key, debugLogFileWriteNewFileValue, REG_DWORD, &flag, sizeof(flag));
    }

    // The three values exactly as the dialog's Apply leaves them.
    static void expectStored(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                             DWORD flag) {
        const rawRegistryValue storedMode = readRawValue(root, key, debugDataTransferValue);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedMode.type);
        EXPECT_EQ(4u, storedMode.bytes.size());
        EXPECT_EQ(mode, storedMode.dword());
        const rawRegistryValue storedFile = readRawValue(root, key, debugLogFileValue);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), storedFile.type);
        EXPECT_EQ((file.size() + 1) * sizeof(wchar_t), storedFile.bytes.size());
        EXPECT_EQ(file, storedFile.text());
        const rawRegistryValue storedFlag = readRawValue(root, key, debugLogFileWriteNewFileValue);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedFlag.type);
        EXPECT_EQ(4u, storedFlag.bytes.size());
        EXPECT_EQ(flag, storedFlag.dword());
    }

    // One file holds two names, one per profile.
    void exportAndImport(const std::wstring& userFile, const std::wstring& defaultFile) {
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
        uniqueFileHandle out(::CreateFileW(redirected.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, 0, nullptr));
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
};

} // namespace

TEST_F(logsmithctl, setWritesWhatApplyWritesToEachScopeAndShowReadsItBack) {
    const std::wstring file = m_folder / L"logs\\run \"1\".dmlog_x64";
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 0);

    result set = tool({L"set", L"--mode", L"both", L"--file", file, L"--scope", L"default"});
    EXPECT_EQ(0, set.code) << set.err;
    expectStored(HKEY_USERS, defaultKey, logInTargetAndGui, file, 0);
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 0);

    // Options not given stay as each profile stores them.
    set = tool({L"set", L"--delete-first", L"yes"});
    EXPECT_EQ(0, set.code) << set.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 1);
    expectStored(HKEY_USERS, defaultKey, logInTargetAndGui, file, 1);

    set = tool({L"set", L"--mode", L"target", L"--file", file, L"--scope", L"user"});
    const result shown = tool({L"show", L"--json"});
    ASSERT_EQ(0, shown.code);
    const nlohmann::json json = nlohmann::json::parse(toUtf8(shown.out));
    ASSERT_EQ(2u, json["profiles"].size());
    const nlohmann::json& user = json["profiles"][0];
    EXPECT_EQ("user", user["scope"]);
    EXPECT_EQ("target", user["mode"]["name"]);
    EXPECT_EQ(3427, user["mode"]["code"]);
    EXPECT_EQ(toUtf8(file), user["logFile"]["value"]);
    EXPECT_EQ(true, user["deleteFirst"]["value"]);
    EXPECT_EQ(true, user["wellFormed"]);
    EXPECT_EQ("both", json["profiles"][1]["mode"]["name"]);

    const result text = tool({L"show", L"--scope", L"user"});
    EXPECT_NE(std::wstring::npos, text.out.find(L"target (3427)")) << text.out;
    EXPECT_EQ(std::wstring::npos, text.out.find(L".DEFAULT")) << text.out;
}

TEST_F(logsmithctl, showMarksMalformedValuesWithWhatTheDialogShows) {
    const DWORD wide = 0x12345678;
    const ULONGLONG tooWide = 3427;
    writeRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue, REG_QWORD, &tooWide, 8);
    writeRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue, REG_BINARY, &wide, 3);
    const result shown = tool({L"show", L"--scope", L"user", L"--json"});
    const nlohmann::json user = nlohmann::json::parse(toUtf8(shown.out))["profiles"][0];
    EXPECT_EQ("wrong type REG_QWORD", user["mode"]["state"]);
    EXPECT_EQ("none", user["mode"]["name"]) << "an 8-byte value cannot be read: the default";
    EXPECT_EQ("wrong type REG_BINARY", user["logFile"]["state"]);
    EXPECT_EQ("missing", user["deleteFirst"]["state"]);
    EXPECT_EQ(true, user["deleteFirst"]["value"]);
    EXPECT_EQ(false, user["wellFormed"]);

    const result text = tool({L"show", L"--scope", L"user"});
    EXPECT_NE(std::wstring::npos,
              text.out.find(L"wrong type REG_QWORD; the dialog shows: none (0)"))
        << text.out;
}

TEST_F(logsmithctl, checkFindsMalformedDisagreeingAndUnreachableSettings) {
    const std::wstring file = m_folder / L"run.dmlog_x64";
    const auto storeFlag = [](HKEY root, const wchar_t* key, DWORD flag, DWORD type = REG_DWORD) {
        writeRawValue(root, key, debugLogFileWriteNewFileValue, type, &flag, sizeof(flag));
    };
    const auto storeBoth = [](DWORD mode, const std::wstring& name) {
        store(HKEY_CURRENT_USER, userKey, mode, name, 1);
        store(HKEY_USERS, defaultKey, mode, name, 1);
    };
    const auto slashed = [](std::wstring path) {
        std::replace(path.begin(), path.end(), L'\\', L'/');
        return path;
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
        int code;
        const wchar_t* finding;
    } rows[] = {
        {"agree", [&] {}, 0, L"compliant"},
        {"disagree", [&] { store(HKEY_USERS, defaultKey, logInGui, file, 1); }, 1,
         L"the profiles disagree on debugDataTransfer: 3427 (current user) and 5498"},
        {"malformed",
         [&] {
             const WORD half = 1;
             writeRawValue(HKEY_USERS, defaultKey, debugLogFileWriteNewFileValue, REG_DWORD, &half,
                           2);
         },
         1, L"debugLogFileWriteNewFile is wrong size 2 bytes"},
        {"missing folder",
         [&] {
             const std::wstring lost = m_folder / L"gone\\run.log";
             store(HKEY_CURRENT_USER, userKey, logInTarget, lost, 1);
             store(HKEY_USERS, defaultKey, logInTarget, lost, 1);
         },
         1, L"gone does not exist"},
        {"missing values", [&] { ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT"); }, 1,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: not configured (logging off)"},
        {"flags the dialog shows alike",
         [&] {
             storeFlag(HKEY_CURRENT_USER, userKey, 2);
             storeFlag(HKEY_USERS, defaultKey, 0xFFFFFFFF);
         },
         1, L"debugLogFileWriteNewFile is 2, not 0 or 1"},
        {"unknown type", [&] { storeFlag(HKEY_USERS, defaultKey, 1, REG_DWORD_BIG_ENDIAN); }, 1,
         L"is wrong type REG_DWORD_BIG_ENDIAN"},
        {"junk after the terminator",
         [&] { storeBoth(logInTarget, std::wstring(file + L'\0') + L"junk"); }, 1,
         L"debugLogFile is a string with 10 bytes after its terminator"},
        {"empty name", [&] { storeBoth(logInTarget, L""); }, 1, L"the log file name is empty"},
        {"folder as file", [&] { storeBoth(logInGui, m_folder.path()); }, 1, L" is a folder"},
        {"forward slashes", [&] { storeBoth(logInGui, slashed(file)); }, 0, L"compliant"},
        {"unholdable characters", [&] { storeBoth(logInGui, m_folder / L"a?*|\"<>.log"); }, 1,
         L"holds characters that no file name can hold: ? * | \" < >"},
        {"control character", [&] { storeBoth(logInGui, m_folder / L"a\x01.log"); }, 1,
         L"a\\x01.log holds characters that no file name can hold: \\x01"},
        {"colon", [&] { storeBoth(logInGui, m_folder / L"a:b"); }, 1, L"can hold: :"},
        {"device", [&] { storeBoth(logInGui, m_folder / L"CON"); }, 1, L"the device name CON,"},
        {"device with extension", [&] { storeBoth(logInGui, L"C:\\nul.txt"); }, 1, L"nul.txt,"},
        {"numbered device", [&] { storeBoth(logInGui, m_folder / L"COM1.log"); }, 1, L"COM1.log,"},
        {"printer", [&] { storeBoth(logInGui, m_folder / L"lpt9"); }, 1, L"lpt9,"},
        {"console", [&] { storeBoth(logInGui, m_folder / L"CONOUT$"); }, 1, L"CONOUT$,"},
        {"device folder", [&] { storeBoth(logInGui, m_folder / L"aux\\a.log"); }, 1, L"aux,"},
        {"dot", [&] { storeBoth(logInGui, m_folder / L"run."); }, 1, L"ends in a dot"},
        {"space", [&] { storeBoth(logInGui, m_folder / L"run "); }, 1, L"ends in a space"},
        {"separator", [&] { storeBoth(logInGui, m_folder / L"new\\"); }, 1,
         L"new\\ names a folder, not a file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        store(HKEY_CURRENT_USER, userKey, logInTarget, file, 1);
        store(HKEY_USERS, defaultKey, logInTarget, file, 1);
        row.arrange();
        const result checked = tool({L"check", L"--same"});
        EXPECT_EQ(row.code, checked.code);
        EXPECT_NE(std::wstring::npos, checked.out.find(row.finding)) << checked.out;
    }
}

TEST_F(logsmithctl, badInputIsRefusedAndChangesNothing) {
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 1);
    const struct {
        std::vector<std::wstring> arguments;
        int code;
        const wchar_t* message;
    } rows[] = {
        {{}, 2, L"subcommand"},
        {{L"frobnicate"}, 2, L"frobnicate"},
        {{L"set", L"--mode", L"loud"}, 2, L"loud"},
        {{L"set", L"--colour", L"red"}, 2, L"--colour"},
        {{L"set", L"--file", std::wstring(32768, L'x')}, 2, L"32767"},
        {{L"show", L"--scope", L"machine"}, 2, L"machine"},
        {{L"export"}, 2, L"file"},
        {{L"export", m_folder / L"missing\\out.reg"}, 1, L"missing does not exist"},
        {{L"export", m_folder / (std::wstring(300, L'x') + L"\\out.reg")},
         1,
         L"long paths are not enabled"},
        {{L"export", m_folder / L"file.txt\\out.reg"}, 1, L"file.txt is a file, not a folder"},
        {{L"set", L"--", L"--mode", L"target"}, 2, L"unexpected arguments: --mode target"},
        {{L"-x"}, 2, L"unknown option '-x'"},
        {{L"dump-settings", m_folder.path()}, 1, L"it is a folder"},
        {{L"dump-settings", L"COM1"}, 1, L"it is a device, not a file"},
    };
    writeBytes(m_folder / L"file.txt", "text");
    for (const auto& row : rows) {
        stringOutput out;
        stringOutput err;
        EXPECT_EQ(row.code, run(row.arguments, out, err));
        EXPECT_NE(std::wstring::npos, err.text().find(row.message)) << err.text();
    }
    EXPECT_FALSE(keyExists(HKEY_USERS, defaultKey));
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\kept.log", 1);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_folder / L"missing").c_str()));
    // Reading commands work out the default name without creating its folder.
    for (const wchar_t* command : {L"show", L"check"})
        tool({command});
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((m_folder / L"Tarnwick").c_str()));

    // An empty name with logging on is stored, as the dialog would, with a warning.
    const result empty = tool({L"set", L"--file", L""});
    EXPECT_EQ(0, empty.code);
    EXPECT_NE(std::wstring::npos, empty.err.find(L"warning")) << empty.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"", 1);
}

TEST_F(logsmithctl, setWithoutElevationWritesTheUserAndSaysWhyDefaultWasSkipped) {
    const elevationQuery previous = setElevationQuery([] { return false; });
    const result both = tool({L"set", L"--mode", L"gui", L"--file", L"C:\\a.log"});
    EXPECT_EQ(0, both.code) << both.err;
    EXPECT_NE(std::wstring::npos, both.out.find(L"skipped: HKEY_USERS\\.DEFAULT")) << both.out;
    EXPECT_NE(std::wstring::npos, both.err.find(L"--scope user")) << both.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
    uniqueHkey untouched;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_USERS, defaultKey, 0, KEY_READ, untouched.put()));
    // Asked for by name, the profile is written (Wine lets anybody), with its own defaults.
    EXPECT_EQ(0, tool({L"set", L"--scope", L"default", L"--mode", L"gui"}).code);
    EXPECT_EQ(logInGui, readRawValue(HKEY_USERS, defaultKey, debugDataTransferValue).dword());
    setElevationQuery(previous);
}

TEST_F(logsmithctl, setWritesOnlyWhatItIsToldAndEachProfilesOwnDefaults) {
    const std::wstring service = L"C:\\logs\\service.dmlog_x64";
    const wchar_t* const systemProfile =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-18";
    const std::wstring listed = L"%SystemDrive%\\sys\\";
    const struct {
        const char* name;
        bool stored;
        bool profileListed;
        const wchar_t* option;
        DWORD mode;
        std::wstring file;
        DWORD flag;
    } rows[] = {
        {"stored values stay", true, true, L"--delete-first=no", logInTarget, service, 0},
        {"defaults once", false, true, L"--mode=gui", logInGui,
         L"C:\\sys\\AppData\\Roaming\\Tarnwick\\dmDataLog.dmlog_x64", 0},
        {"no default known", false, false, L"--delete-first=yes", logNothing, L"", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE");
        store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\admin.log", 1);
        if (row.stored)
            store(HKEY_USERS, defaultKey, logInTarget, service, 1);
        if (row.profileListed)
            writeRawValue(HKEY_LOCAL_MACHINE, systemProfile, L"ProfileImagePath", REG_EXPAND_SZ,
                          listed.c_str(), static_cast<DWORD>((listed.size() + 1) * 2));
        EXPECT_EQ(0, tool({L"set", L"--scope", L"default", row.option}).code);
        EXPECT_EQ(row.mode, readRawValue(HKEY_USERS, defaultKey, debugDataTransferValue).dword());
        EXPECT_EQ(row.flag,
                  readRawValue(HKEY_USERS, defaultKey, debugLogFileWriteNewFileValue).dword());
        const rawRegistryValue file = readRawValue(HKEY_USERS, defaultKey, debugLogFileValue);
        EXPECT_EQ(row.file, file.text());
        EXPECT_EQ(row.file.empty(), file.status == ERROR_FILE_NOT_FOUND);
        expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\admin.log", 1);
    }
    EXPECT_NE(std::wstring::npos,
              tool({L"show"}).out.find(L"log file:      missing; default (decided by the process "
                                       L"that logs)"));
    // Nothing is created for a name that is not stored.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
    EXPECT_EQ(0, tool({L"set", L"--scope", L"user", L"--file=-x.log"}).code);
    expectStored(HKEY_CURRENT_USER, userKey, logNothing, L"-x.log", 0);
    EXPECT_FALSE(folderExists(m_folder / L"Tarnwick"));
}

TEST_F(logsmithctl, aProfileThatCannotBeWrittenIsReportedWithTheDialogsText) {
    makeRootRefuseCreation(HKEY_USERS);
    const result set = tool({L"set", L"--mode", L"gui", L"--file", L"C:\\a.log"});
    EXPECT_EQ(1, set.code);
    EXPECT_NE(std::wstring::npos,
              set.err.find(L"HKEY_USERS\\.DEFAULT\\Software\\Tarnwick\\Driftmarkx64: Unable to "
                           L"open registry for writing logging data. Try running this tool as "
                           L"Administrator ("))
        << set.err;
    expectStored(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
}

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

TEST_F(logsmithctl, runsAsAProgramWithUtf8OutputAndExitCodes) {
    const result version =
        runProcess(std::wstring(L"\"") + LOGSMITHCTL_PATH + L"\" --version", m_folder / L"v.txt");
    EXPECT_EQ(0, version.code);
    EXPECT_EQ(L"logsmithctl " LOGSMITH_VERSION_TEXT "\r\n", version.out);
    EXPECT_EQ(versionText(), L"logsmithctl " LOGSMITH_VERSION_TEXT);

    const result usage =
        runProcess(std::wstring(L"\"") + LOGSMITHCTL_PATH + L"\" nothing", m_folder / L"u.txt");
    EXPECT_EQ(2, usage.code);
    EXPECT_NE(std::wstring::npos, usage.out.find(L"Usage")) << usage.out;
    EXPECT_NE(std::wstring::npos, usage.out.find(L"\r\n  3  partial  ")) << usage.out;
}

TEST_F(logsmithctl, dumpSettingsListsRecordsAndPointsAtDamage) {
    const std::wstring saved = m_folder / L"store.settings";
    {
        readWriteSettingsToFile store;
        ASSERT_NE(0, store.writeDword(nullptr, L"count", 3427));
        ASSERT_NE(0, store.writeWord(nullptr, L"short", -2));
        ASSERT_NE(0, store.writeCString(nullptr, L"path", CString(L"C:\\a \"b\"")));
        ASSERT_NE(0, store.save(saved.c_str()));
    }
    const result listed = tool({L"dump-settings", saved});
    EXPECT_EQ(0, listed.code) << listed.err;
    EXPECT_EQ(L"\"count\"  number  4  3427 (0x00000d63)\n"
              L"\"path\"  string  18  \"C:\\\\a \\\"b\\\"\"\n"
              L"\"short\"  number  2  65534 (0xfffe)\n",
              listed.out);
    const nlohmann::json json =
        nlohmann::json::parse(toUtf8(tool({L"dump-settings", saved, L"--json"}).out));
    EXPECT_EQ(3u, json["records"].size());
    EXPECT_EQ("C:\\a \"b\"", json["records"][1]["value"]);

    std::string image = readBytes(saved);
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* damage;
        std::size_t recordsBefore;
    } rows[] = {
        {"empty", "", L"at offset 0: no record count", 0},
        {"truncated", image.substr(0, image.size() - 1),
         L"offset 72: record 3 of 3: the value size runs past the end", 2},
        {"huge count", std::string("\xFF\xFF\xFF\x7F", 4) + image.substr(4),
         L"record 4 of 2147483647: the name size is cut off", 3},
        {"text file", "[section]\r\nname=value\r\n", L"the name size runs past the end", 0},
        {"trailing bytes", image + "xyz", L"3 bytes after the last record", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring damaged = m_folder / L"damaged.settings";
        writeBytes(damaged, row.bytes);
        const result dumped = tool({L"dump-settings", damaged});
        EXPECT_EQ(1, dumped.code);
        EXPECT_NE(std::wstring::npos, dumped.err.find(row.damage)) << dumped.err;
        EXPECT_EQ(row.recordsBefore, static_cast<std::size_t>(
                                         std::count(dumped.out.begin(), dumped.out.end(), L'\n')));
    }
    EXPECT_EQ(1, tool({L"dump-settings", m_folder / L"missing.settings"}).code);
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

TEST_F(logsmithctl, outputThatCannotBeWrittenIsAFailure) {
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 1);
    const std::wstring settings = m_folder / L"store.settings";
    writeBytes(settings, std::string(4, '\0'));
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(::CreatePipe(&reader, &writer, nullptr, 0));
    ::CloseHandle(reader);
    uniqueFileHandle brokenPipe(writer);
    uniqueFileHandle readOnly(::CreateFileW(settings.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    uniqueFileHandle fullDevice(
        ::CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(fullDevice);
    for (HANDLE handle : {INVALID_HANDLE_VALUE, brokenPipe.get(), readOnly.get(), fullDevice.get()})
        for (const std::vector<std::wstring>& arguments :
             std::vector<std::vector<std::wstring>>{{L"show"},
                                                    {L"show", L"--json"},
                                                    {L"dump-settings", settings, L"--json"},
                                                    {L"--help"}}) {
            SCOPED_TRACE(testing::Message() << handle << " " << arguments.front());
            handleOutput out(handle);
            stringOutput err;
            EXPECT_EQ(1, run(arguments, out, err));
            EXPECT_NE(std::wstring::npos, err.text().find(L"the output could not be written"))
                << err.text();
        }
    // A change is reported by its exit code, whatever became of its report.
    for (const std::vector<std::wstring>& arguments :
         std::vector<std::vector<std::wstring>>{{L"set", L"--scope", L"user", L"--mode", L"target"},
                                                {L"export", m_folder / L"out.reg"}}) {
        handleOutput out(brokenPipe.get());
        stringOutput err;
        EXPECT_EQ(0, run(arguments, out, err));
        EXPECT_NE(std::wstring::npos, err.text().find(L"the report could not be written"));
    }
    EXPECT_EQ(logInTarget,
              readRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue).dword());
    EXPECT_TRUE(fileExists(m_folder / L"out.reg"));
}

TEST_F(logsmithctl, storedTextCannotSteerTheOutput) {
    const std::wstring hostile = L"C:\\a\nHKEY_USERS\\x: fine\x1b[31m\r\n\xD800 \xD83D\xDE00";
    const std::wstring shownHostile =
        L"C:\\a\\nHKEY_USERS\\x: fine\\x1b[31m\\r\\n\\uD800 \xD83D\xDE00";
    ASSERT_EQ(0, tool({L"set", L"--file", hostile, L"--mode", L"gui"}).code);
    expectStored(HKEY_USERS, defaultKey, logInGui, hostile, 0);

    const result shown = tool({L"show"});
    EXPECT_NE(std::wstring::npos, shown.out.find(L"  log file:      " + shownHostile + L"\n"))
        << shown.out;
    // Whether the Task Scheduler can be asked from the scratch registry depends on whether its
    // service already runs; the line that says so is not counted.
    int lines = 0;
    std::wistringstream text(shown.out);
    for (std::wstring line; std::getline(text, line);)
        lines += line.starts_with(L"  expires: ") ? 0 : 1;
    EXPECT_EQ(9, lines) << shown.out;
    store(HKEY_USERS, defaultKey, logInGui, L"C:\\b", 1);
    EXPECT_NE(std::wstring::npos,
              tool({L"check", L"--same"}).out.find(shownHostile + L" (current user)"));

    // Names that differ only where UTF-8 or a C string cannot follow them.
    std::string image("\x05\0\0\0", 4);
    for (const std::wstring& name :
         std::initializer_list<std::wstring>{L"a\xD800", L"a\xDC00", L"a\xD83D\xDE00",
                                             std::wstring(L"a\0b", 3), std::wstring(L"a\0c", 3)}) {
        const std::uint32_t fields[] = {static_cast<std::uint32_t>((name.size() + 1) * 2)};
        const std::uint32_t value[] = {REG_DWORD, 8, 0xFFFFFFFF, 0xFFFFFFFF};
        image.append(reinterpret_cast<const char*>(fields), 4)
            .append(reinterpret_cast<const char*>(name.c_str()), fields[0])
            .append(reinterpret_cast<const char*>(value), sizeof(value));
    }
    const std::wstring saved = m_folder / L"names.settings";
    writeBytes(saved, image);
    EXPECT_NE(std::wstring::npos,
              tool({L"dump-settings", saved}).out.find(L"\"a\xD83D\xDE00\"  number  8"));
    const nlohmann::json records =
        nlohmann::json::parse(toUtf8(tool({L"dump-settings", saved, L"--json"}).out))["records"];
    ASSERT_EQ(5u, records.size());
    EXPECT_NE(records[0]["nameCodeUnits"], records[1]["nameCodeUnits"]);
    EXPECT_EQ(std::string("a\0b", 3), records[3]["name"]);
    EXPECT_EQ(std::string("a\0c", 3), records[4]["name"]);
    EXPECT_EQ("18446744073709551615", records[0]["valueText"]);
}

namespace {

// Wine's own export; absent on Windows, where the Linux-side checks cannot run.
std::string unixPath(const std::wstring& path) {
    using lookup = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<lookup>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix != nullptr ? toUnix(path.c_str()) : nullptr;
    const std::string result = name != nullptr ? name : "";
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

// Runs a shell script on the Linux side; its exit code, with its output in output. Wine does not
// wait for a Linux process, so the script leaves its code in a file, which is waited for.
int runOnLinux(const tempFolder& folder, const std::string& script, std::string& output) {
    static int runs = 0;
    const std::string name = "linux-" + std::to_string(++runs);
    const std::string base = unixPath(folder.path()) + "/" + name;
    std::wstring line = L"Z:\\bin\\sh -c \"(" + fromUtf8(script) + L") >'" + fromUtf8(base) +
                        L".out' 2>&1; echo $? >'" + fromUtf8(base) + L".part'; mv '" +
                        fromUtf8(base) + L".part' '" + fromUtf8(base) + L".code'\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &child))
        return -1;
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    const std::wstring code = folder / fromUtf8(name + ".code");
    for (int wait = 0; wait < 600 && !fileExists(code); ++wait)
        ::Sleep(100);
    output = readBytes(folder / fromUtf8(name + ".out"));
    return fileExists(code) ? std::stoi("0" + readBytes(code)) : -1;
}

std::string numberedLines(int first, int count) {
    std::string text;
    for (int line = first; line < first + count; ++line)
        text += "line " + std::to_string(line) + " of the run\r\n";
    return text;
}

} // namespace

TEST_F(logsmithctl, collectArchivesSettingsSystemAndLogsAsStandardToolsReadThem) {
    const std::string userLog = numberedLines(0, 70000);
    ASSERT_GT(userLog.size(), 1u << 20);
    store(HKEY_CURRENT_USER, userKey, logInTarget, m_folder.makeFile(L"run.log", userLog), 1);
    store(HKEY_USERS, defaultKey, logInGui, m_folder.makeFile(L"service.log", "service\n"), 0);
    m_folder.makeFolder(L"Tarnwick\\Driftmark x64");
    m_folder.makeFile(L"Tarnwick\\Driftmark x64\\dmLogUI_x64.txt", "trace\n");
    const std::string folder = unixPath(m_folder.path());
    if (folder.empty())
        GTEST_SKIP() << "the archive is checked with Linux tools under Wine";

    const result collected = tool({L"collect", m_folder / L"case", L"--max-log-mb", L"1"});
    ASSERT_EQ(0, collected.code) << collected.err;
    std::string output;
    ASSERT_EQ(0,
              runOnLinux(m_folder, "cabextract -q -d '" + folder + "/x' '" + folder + "/case.cab'",
                         output))
        << output;
    const nlohmann::json manifest =
        nlohmann::json::parse(readBytes(m_folder / L"x\\manifest.json"));
    std::string sums = "sha256sum";
    std::vector<std::string> names;
    for (const nlohmann::json& entry : manifest["entries"]) {
        std::string name = entry["name"];
        names.push_back(name);
        EXPECT_EQ(entry["size"], readBytes(m_folder / L"x\\" + fromUtf8(name)).size()) << entry;
        std::replace(name.begin(), name.end(), '\\', '/');
        sums += " '" + folder + "/x/" + name + "'";
    }
    EXPECT_EQ(
        (std::vector<std::string>{"settings.reg", "settings.json", "system.json", "logs\\user.log",
                                  "logs\\default.log", "logs\\dmLogUI_x64.txt"}),
        names);
    std::string digests;
    ASSERT_EQ(0, runOnLinux(m_folder, sums, digests)) << digests;
    for (const nlohmann::json& entry : manifest["entries"])
        EXPECT_NE(std::string::npos, digests.find(std::string(entry["sha256"]) + "  "))
            << entry << digests;

    const nlohmann::json& user = manifest["entries"][3];
    EXPECT_EQ(true, user["cut"]);
    EXPECT_EQ(userLog.size(), user["originalSize"]);
    const std::size_t keptFrom = user["keptFrom"];
    EXPECT_EQ('\n', userLog[keptFrom - 1]) << "the kept part starts a line";
    const std::string kept = readBytes(m_folder / L"x\\logs\\user.log");
    EXPECT_EQ(userLog.substr(keptFrom), kept);
    EXPECT_GT(kept.size(), (1u << 20) - 40);
    EXPECT_EQ(false, manifest["entries"][4]["cut"]);
    EXPECT_EQ("default diagnostic log", manifest["notFound"][0]["what"]);

    const nlohmann::json system = nlohmann::json::parse(readBytes(m_folder / L"x\\system.json"));
    EXPECT_EQ(toUtf8(getOsName(FALSE).GetString()), system["reported"]["name"]);
    EXPECT_EQ(0u, std::string(system["actual"]["name"]).find("Windows"));
    EXPECT_EQ(isWindows7() != FALSE, system["predicates"]["isWindows7"]);
    EXPECT_EQ(18u, system["predicates"].size());
    EXPECT_EQ("\xFF\xFE", readBytes(m_folder / L"x\\settings.reg").substr(0, 2));
}

TEST_F(logsmithctl, collectWritesTheWholeArchiveOrNothingAndChangesNothingElse) {
    const std::wstring archive = m_folder / L"case.cab";
    const std::wstring gone = m_folder / L"gone.log";
    const std::wstring shared = m_folder.makeFile(L"shared.log", "shared\n");
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        std::wstring userLog;
        std::wstring defaultLog;
        int code;
        const wchar_t* message;
        std::string archiveBefore;
        bool archiveAfter;
    } rows[] = {
        {"missing log", {L"collect", archive}, gone, L"", 0, L"gone.log", "", true},
        {"device as log",
         {L"collect", archive},
         L"COM1",
         L"",
         0,
         L"a device, not a file",
         "",
         true},
        {"one log, two names",
         {L"collect", archive},
         shared,
         m_folder / L".\\shared.log",
         0,
         L"collected 5 files",
         "",
         true},
        {"existing archive",
         {L"collect", m_folder / L"case"},
         gone,
         L"",
         1,
         L"--force replaces it",
         "old",
         true},
        {"forced", {L"collect", archive, L"--force"}, gone, L"", 0, L"gone.log", "old", true},
        {"missing folder",
         {L"collect", m_folder / L"none\\case.cab"},
         gone,
         L"",
         1,
         L"nothing was written",
         "",
         false},
        {"no room for a log",
         {L"collect", archive, L"--max-log-mb", L"0"},
         gone,
         L"",
         2,
         L"not in range 1 to 1024",
         "",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::DeleteFileW(archive.c_str());
        if (!row.archiveBefore.empty())
            writeBytes(archive, row.archiveBefore);
        store(HKEY_CURRENT_USER, userKey, logInTarget, row.userLog, 1);
        ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT");
        if (!row.defaultLog.empty())
            store(HKEY_USERS, defaultKey, logInTarget, row.defaultLog, 1);
        stringOutput out;
        stringOutput err;
        EXPECT_EQ(row.code, run(row.arguments, out, err));
        EXPECT_NE(std::wstring::npos, (out.text() + err.text()).find(row.message)) << err.text();
        EXPECT_EQ(row.archiveAfter, fileExists(archive));
        if (row.code != 0 && !row.archiveBefore.empty()) {
            EXPECT_EQ(row.archiveBefore, readBytes(archive));
        }
        WIN32_FIND_DATAW found{};
        uniqueFindHandle leftovers(::FindFirstFileW((m_folder / L"*.tmp").c_str(), &found));
        EXPECT_FALSE(leftovers) << "a temporary file remains";
        EXPECT_EQ(!row.defaultLog.empty(), keyExists(HKEY_USERS, defaultKey));
    }
    EXPECT_FALSE(fileExists(gone));
    EXPECT_FALSE(folderExists(m_folder / L"Tarnwick")) << "looking for the logs creates nothing";
}

namespace {

// The built program sees the test prefix's own registry: its current user's product key is
// saved, cleared and put back afterwards, and the tests that use it run one at a time.
class logsmithctlProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_lock.reset(::CreateMutexW(nullptr, FALSE, L"Local\\LogsmithTests.realProfile"));
        ASSERT_TRUE(m_lock);
        ASSERT_NE(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_lock.get(), 300000));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, backupKey);
        m_saved = copyKey(userKey, backupKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
        if (m_saved)
            copyKey(backupKey, userKey);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, backupKey);
        ::ReleaseMutex(m_lock.get());
    }

    static bool copyKey(const wchar_t* from, const wchar_t* to) {
        uniqueHkey source;
        uniqueHkey target;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, source.put()) ==
                   ERROR_SUCCESS &&
               ::RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 target.put(), nullptr) == ERROR_SUCCESS &&
               ::RegCopyTreeW(source.get(), nullptr, target.get()) == ERROR_SUCCESS;
    }

    uniqueKernelHandle start(const std::wstring& arguments, const std::wstring& output) {
        return startProcess(std::wstring(L"\"") + LOGSMITHCTL_PATH + L"\" " + arguments,
                            m_folder / output);
    }

    static constexpr const wchar_t* backupKey = L"Software\\LogsmithTests\\realProfileBackup";
    uniqueKernelHandle m_lock;
    bool m_saved = false;
    tempFolder m_folder;
};

} // namespace

TEST_F(logsmithctlProgram, concurrentSetsOfDifferentValuesAllLand) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        // Only a name stored: each set also writes the defaults the others' values must beat.
        ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
        const std::wstring before = L"C:\\old.log";
        writeRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue, REG_SZ, before.c_str(),
                      static_cast<DWORD>((before.size() + 1) * 2));
        const std::wstring file = L"C:\\logs\\run" + std::to_wstring(round) + L".log";
        const std::wstring options[] = {L"--mode gui", L"--file " + file, L"--delete-first yes"};
        // Output files of their own each round: an exited child's handle may still be closing.
        const auto output = [&](const std::wstring& option) {
            return L"set" + std::to_wstring(round) + option.substr(2, 3);
        };
        std::vector<uniqueKernelHandle> sets;
        for (const std::wstring& option : options)
            sets.push_back(start(L"set --scope user " + option, output(option)));
        for (std::size_t index = 0; index < sets.size(); ++index)
            EXPECT_EQ(0, finishProcess(sets[index], m_folder / output(options[index])).code);
        EXPECT_EQ(logInGui,
                  readRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue).dword());
        EXPECT_EQ(file, readRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue).text());
        EXPECT_EQ(1u,
                  readRawValue(HKEY_CURRENT_USER, userKey, debugLogFileWriteNewFileValue).dword());
    }
}

TEST_F(logsmithctlProgram, refusesDevicesAndImpossibleNamesAndEscapesWhatItEchoes) {
    const std::wstring pipeName = L"LogsmithTests-" + std::to_wstring(::GetCurrentProcessId());
    uniqueFileHandle pipe(::CreateNamedPipeW((L"\\\\.\\pipe\\" + pipeName).c_str(),
                                             PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0, 1, 512,
                                             512, 0, nullptr));
    ASSERT_TRUE(pipe);
    uniqueKernelHandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED waiting{};
    waiting.hEvent = connected.get();
    ASSERT_FALSE(::ConnectNamedPipe(pipe.get(), &waiting));
    ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), ::GetLastError());
    const std::wstring settings = m_folder / L"store.settings";
    writeBytes(settings, std::string(4, '\0'));
    const std::wstring escape = L"\x1b[31m";
    const struct {
        std::wstring arguments;
        std::wstring storedFile;
        int code;
        std::wstring message;
    } rows[] = {
        {L"dump-settings \\\\?\\pipe\\" + pipeName, L"", 1, L"it is a device, not a file"},
        {L"dump-settings \\\\?\\NUL", L"", 1, L"it is a device, not a file"},
        {L"dump-settings \\\\?\\GLOBALROOT\\Device\\Null", L"", 1, L"it is a device, not a file"},
        {L"dump-settings C:\\logs\\nul.txt", L"", 1, L"it is a device, not a file"},
        {L"dump-settings Z:\\dev\\zero", L"", 1, L"it is not a regular file"},
        {L"dump-settings \\\\?\\" + settings, L"", 0, L""},
        {L"check", L"C:\\logs\\a?.log", 1, L"holds characters that no file name can hold: ?"},
        {L"set --scope user --file --help", L"", 2, L"--file=--help"},
        {L"export \"" + m_folder.path() + L"\"", L"", 1, L"it is a folder; nothing was written"},
        {L"export \"" + m_folder / (L"a" + escape + L"\\out.reg") + L"\"", L"", 1, L"a\\x1b[31m"},
        {L"dump-settings \"" + m_folder / (L"b" + escape) + L"\"", L"", 1, L"b\\x1b[31m"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
        if (!row.storedFile.empty()) {
            writeRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue, REG_SZ,
                          row.storedFile.c_str(),
                          static_cast<DWORD>((row.storedFile.size() + 1) * 2));
            writeRawValue(HKEY_CURRENT_USER, userKey, debugDataTransferValue, REG_DWORD, &logInGui,
                          sizeof(logInGui));
        }
        const result ran = finishProcess(start(row.arguments, L"out.txt"), m_folder / L"out.txt");
        EXPECT_EQ(row.code, ran.code);
        EXPECT_NE(std::wstring::npos, ran.out.find(row.message)) << ran.out;
        EXPECT_EQ(std::wstring::npos, ran.out.find(L'\x1b')) << "raw control characters";
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(connected.get(), 0))
        << "a client reached the pipe";
    ::CancelIo(pipe.get());
    DWORD transferred = 0;
    ::GetOverlappedResult(pipe.get(), &waiting, &transferred, TRUE);
}

TEST_F(logsmithctl, checkPassesAKnownStateAndTestsWhatItIsToldToExpect) {
    const std::wstring file = m_folder / L"run.log";
    const std::wstring upper = m_folder.path() + L"\\RUN.LOG";
    const elevationQuery previous = setElevationQuery([] { return false; });
    const struct {
        const char* name;
        bool configured;
        std::vector<std::wstring> arguments;
        int code;
        const wchar_t* text;
    } rows[] = {
        {"never configured",
         false,
         {},
         0,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: not "
         L"configured (logging off)\ncompliant"},
        {"never configured is off", false, {L"--expect-mode", L"NONE"}, 0, L"compliant"},
        {"delete first shows yes",
         false,
         {L"--expect-delete-first", L"no"},
         1,
         L"debugLogFileWriteNewFile is yes, expected no"},
        {"profiles differ", true, {}, 0, L"compliant"},
        {"unless the same",
         true,
         {L"--same"},
         1,
         L"disagree on debugDataTransfer: 5498 (current user) and 3427 (.DEFAULT)"},
        {"expected in scope",
         true,
         {L"--scope", L"User", L"--expect-mode", L"gui", L"--expect-file", upper,
          L"--expect-delete-first", L"no"},
         0,
         L"compliant"},
        {"not expected",
         true,
         {L"--expect-mode", L"gui"},
         1,
         L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64: debugDataTransfer is target (3427), "
         L"expected gui (5498)"},
        {"no elevation for every user", true, {L"--scope", L"all-users"}, 4, L""},
        {"usage", true, {L"--expect-mode", L"loud"}, 2, L""},
        {"new users without all-users", true, {L"--include-new-users"}, 2, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
        ::RegDeleteTreeW(HKEY_USERS, L".DEFAULT");
        if (row.configured) {
            store(HKEY_CURRENT_USER, userKey, logInGui, file, 0);
            store(HKEY_USERS, defaultKey, logInTarget, file, 1);
        }
        std::vector<std::wstring> arguments = {L"check"};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        stringOutput out;
        stringOutput err;
        EXPECT_EQ(row.code, run(arguments, out, err)) << out.text() << err.text();
        EXPECT_NE(std::wstring::npos, out.text().find(row.text)) << out.text();
    }
    setElevationQuery(previous);

    const nlohmann::json json =
        nlohmann::json::parse(toUtf8(tool({L"check", L"--json", L"--expect-mode", L"both"}).out));
    EXPECT_EQ(1, json["formatVersion"]);
    EXPECT_EQ(1, json["exitCode"]);
    EXPECT_EQ(2u, json["findings"].size());
    EXPECT_EQ("default", json["profiles"][1]["scope"]);
    EXPECT_EQ("target", json["profiles"][1]["mode"]["name"]) << "the shape of show --json";
}

TEST_F(logsmithctl, resetRemovesTheValuesThenTheKeysLeftEmpty) {
    const elevationQuery previous = setElevationQuery([] { return false; });
    store(HKEY_CURRENT_USER, userKey, logInGui, L"C:\\a.log", 0);
    store(HKEY_USERS, defaultKey, logInGui, L"C:\\a.log", 0);
    writeRawValue(HKEY_CURRENT_USER, L"Software\\Tarnwick\\Other", L"kept", REG_SZ, L"", 2);
    result reset = tool({L"reset"});
    EXPECT_EQ(0, reset.code) << reset.err;
    EXPECT_NE(std::wstring::npos, reset.out.find(L"removed: HKEY_CURRENT_USER\\Software\\Tarnwick\\"
                                                 L"Driftmarkx64\\debugLogFile\n"))
        << reset.out;
    EXPECT_NE(std::wstring::npos, reset.out.find(L"skipped: HKEY_USERS\\.DEFAULT")) << reset.out;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"Software\\Tarnwick\\Other"));
    EXPECT_TRUE(keyExists(HKEY_USERS, defaultKey)) << "not elevated: .DEFAULT stays";

    reset = tool({L"reset", L"--scope", L"Default"});
    EXPECT_EQ(0, reset.code) << reset.err;
    EXPECT_FALSE(keyExists(HKEY_USERS, L".DEFAULT\\Software\\Tarnwick"));
    reset = tool({L"reset", L"--scope", L"all"});
    EXPECT_EQ(0, reset.code) << "an empty profile is no failure";
    EXPECT_NE(std::wstring::npos, reset.out.find(L"nothing to remove: HKEY_USERS\\.DEFAULT"));
    EXPECT_EQ(1, tool({L"reset", L"--scope", L"all-users"}).code) << "needs elevation";
    setElevationQuery(previous);
}

TEST_F(logsmithctl, setWarnsAboutLogFilesThatCannotBeCreatedAndStrictRefusesThem) {
    const struct {
        std::wstring file;
        const wchar_t* warning;
    } rows[] = {
        {L"logs\\run.log", L"logs\\run.log is not a full path"},
        {m_folder / L"gone\\run.log", L"gone does not exist"},
        {m_folder.path(), L" is a folder"},
        {m_folder / L"%USERNAME%.log", L"holds %VAR% text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(toUtf8(row.file));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
        const result strict = tool({L"set", L"--scope", L"user", L"--file", row.file, L"--strict"});
        EXPECT_EQ(1, strict.code);
        EXPECT_NE(std::wstring::npos, strict.err.find(row.warning)) << strict.err;
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey)) << "nothing written";
        const result warned = tool({L"set", L"--scope", L"user", L"--file", row.file});
        EXPECT_EQ(0, warned.code);
        EXPECT_NE(std::wstring::npos, warned.err.find(L"warning: ")) << warned.err;
        EXPECT_EQ(row.file, readRawValue(HKEY_CURRENT_USER, userKey, debugLogFileValue).text());
    }
    EXPECT_EQ(
        std::wstring::npos,
        tool({L"set", L"--scope", L"user", L"--file", m_folder / L"ok.log"}).err.find(L"warning"));
}

// The scheduler's classes are registered in the real HKLM, which the scratch registry hides:
// registration fails, as on a machine whose Task Scheduler is not running.
TEST_F(logsmithctl, aTimedSetWhoseTaskCannotBeRegisteredWritesNothing) {
    const result timed = tool({L"set", L"--scope", L"user", L"--mode", L"gui", L"--for", L"8h"});
    EXPECT_EQ(1, timed.code);
    EXPECT_NE(std::wstring::npos, timed.err.find(L"cannot be registered")) << timed.err;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, userKey));
    EXPECT_EQ(2, tool({L"set", L"--mode", L"gui", L"--for", L"31d"}).code);
}

// Every person's profile: one loaded under HKEY_USERS, one in a hive file of our own that is
// mounted for the change and unmounted after, one whose hive file is damaged, and the template.
TEST_F(logsmithctl, allUsersReachesEveryPersonsProfileAndSkipsWhatCannotBeLoaded) {
    const elevationQuery previous = setElevationQuery([] { return true; });
    const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const auto listProfile = [&](const std::wstring& sid, const std::wstring& folder) {
        const std::wstring key = sid.empty() ? list : list + L"\\" + sid;
        writeRawValue(HKEY_LOCAL_MACHINE, key.c_str(),
                      sid.empty() ? L"Default" : L"ProfileImagePath", REG_SZ, folder.c_str(),
                      static_cast<DWORD>((folder.size() + 1) * 2));
    };
    const auto saveHive = [&](const std::wstring& folder) {
        m_folder.makeFolder(folder);
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), enableHivePrivileges());
        uniqueHkey empty;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"hive", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, empty.put(), nullptr));
        ASSERT_EQ(
            ERROR_SUCCESS,
            ::RegSaveKeyW(empty.get(), (m_folder / folder + L"\\NTUSER.DAT").c_str(), nullptr));
    };
    const std::wstring loaded = L"S-1-5-21-1-2-3-1001\\Software\\Tarnwick\\Driftmarkx64";
    writeRawValue(HKEY_USERS, L"S-1-5-21-1-2-3-1001_Classes", L"x", REG_SZ, L"", 2);
    writeRawValue(HKEY_USERS, L"S-1-5-21-1-2-3-1001\\Software", L"x", REG_SZ, L"", 2);
    saveHive(L"away");
    saveHive(L"template");
    m_folder.makeFolder(L"damaged");
    m_folder.makeFile(L"damaged\\NTUSER.DAT", "not a hive");
    listProfile(L"S-1-5-21-1-2-3-1002", m_folder / L"away");
    listProfile(L"S-1-5-21-1-2-3-1003", m_folder / L"damaged");
    listProfile(L"", m_folder / L"template");

    result set =
        tool({L"set", L"--scope", L"all-users", L"--include-new-users", L"--mode", L"gui"});
    EXPECT_EQ(1, set.code) << "the damaged hive was not written";
    EXPECT_NE(std::wstring::npos, set.err.find(L"(S-1-5-21-1-2-3-1003) from ")) << set.err;
    EXPECT_EQ(logInGui, readRawValue(HKEY_USERS, loaded.c_str(), debugDataTransferValue).dword());
    EXPECT_FALSE(keyExists(HKEY_USERS, L".DEFAULT")) << "all-users is people only";
    EXPECT_FALSE(keyExists(HKEY_USERS, L"S-1-5-21-1-2-3-1001_Classes\\Software"));
    // Wine drops what was written to a mounted hive when it unloads it (Windows writes it to the
    // file): the write is seen in the report, and the mount gone after.
    for (const wchar_t* mounted : {L"Logsmith_S-1-5-21-1-2-3-1002", L"Logsmith_NewUsers"}) {
        EXPECT_NE(std::wstring::npos,
                  set.out.find(L"written: HKEY_USERS\\" + std::wstring(mounted) + L"\\Software"))
            << set.out;
        EXPECT_FALSE(keyExists(HKEY_USERS, mounted));
    }
    const nlohmann::json shown = nlohmann::json::parse(
        toUtf8(tool({L"show", L"--scope", L"all-users", L"--json", L"--include-new-users"}).out));
    ASSERT_EQ(4u, shown["profiles"].size());
    EXPECT_EQ("S-1-5-21-1-2-3-1002", shown["profiles"][1]["sid"]);
    EXPECT_EQ(toUtf8(m_folder / L"away\\NTUSER.DAT"), shown["profiles"][1]["hiveFile"]);
    EXPECT_EQ(false, shown["profiles"][2]["readable"]);
    EXPECT_EQ("new-users", shown["profiles"][3]["scope"]);
    EXPECT_EQ(4, tool({L"check", L"--scope", L"all-users"}).code)
        << "the damaged hive is not known to be out of line";

    const result reset = tool({L"reset", L"--scope", L"all-users", L"--include-new-users"});
    EXPECT_EQ(1, reset.code);
    EXPECT_FALSE(keyExists(HKEY_USERS, L"S-1-5-21-1-2-3-1001\\Software\\Tarnwick"));
    EXPECT_NE(std::wstring::npos,
              reset.out.find(L"nothing to remove: HKEY_USERS\\Logsmith_NewUsers"))
        << reset.out;
    setElevationQuery(previous);
}

// Wine registers tasks but never runs them: what is tested is the pending expiry that set --for
// registers, that show reports it and that a later set or reset cancels it.
TEST_F(logsmithctlProgram, timedLoggingAllUsersAndExitCodesAsAManagementToolSeesThem) {
    const wchar_t* const unloaded =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-9-9-9-1099";
    const std::wstring missing = m_folder / L"gone";
    const std::wstring logFile = m_folder / L"run.log";
    const struct {
        std::wstring arguments;
        int code;
        const char* expiry; // show --scope user --json afterwards: "pending", "none" or ""
        std::wstring text;
    } rows[] = {
        {L"/?", 0, "",
         L"logsmithctl show | set | reset | check | export | dump-settings | collect"},
        {L"set --scope User --mode GUI --file " + logFile + L" --for 8h", 0, "pending",
         L"logging is turned off again at "},
        {L"show --scope user", 0, "", L"  expires:       "},
        {L"check --scope user --expect-mode gui --expect-file " + logFile, 0, "pending",
         L"compliant"},
        {L"check --scope user --expect-mode none", 1, "", L"expected none"},
        {L"show --scope all-users", 0, "",
         L"HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Tarnwick\\Driftmarkx64\r\n  account:  "},
        {L"set --scope user --mode gui --for 30m", 0, "pending", L""},
        {L"set --scope user --delete-first yes", 0, "none", L"written"},
        {L"set --scope user --for 2d --mode both", 0, "pending", L""},
        {L"reset --scope user", 0, "none", L"removed: HKEY_CURRENT_USER\\Software\\Tarnwick\r\n"},
        {L"reset --scope user", 0, "", L"nothing to remove"},
        {L"check --scope all-users", 4, "", L"cannot be read"},
        {L"set --scope user --for 1w", 2, "", L"at most 30 days"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        if (row.code == 4)
            writeRawValue(HKEY_LOCAL_MACHINE, unloaded, L"ProfileImagePath", REG_SZ,
                          missing.c_str(), static_cast<DWORD>((missing.size() + 1) * 2));
        const result ran = finishProcess(start(row.arguments, L"out.txt"), m_folder / L"out.txt");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, unloaded);
        EXPECT_EQ(row.code, ran.code) << ran.out;
        EXPECT_NE(std::wstring::npos, ran.out.find(row.text)) << ran.out;
        if (*row.expiry == '\0')
            continue;
        const result shown =
            finishProcess(start(L"show --scope user --json", L"show.txt"), m_folder / L"show.txt");
        const nlohmann::json expiry =
            nlohmann::json::parse(toUtf8(shown.out))["profiles"][0]["expiry"];
        EXPECT_EQ(std::string(row.expiry) == "pending", expiry.contains("utc")) << expiry.dump();
        EXPECT_EQ(std::string(row.expiry) == "none", expiry.is_null()) << expiry.dump();
    }
    const nlohmann::json facts = systemFacts();
    EXPECT_TRUE(facts["computerName"].is_string());
    EXPECT_TRUE(facts["elevated"].is_boolean());
    EXPECT_EQ(6u, facts["utcOffset"].get<std::string>().size()) << facts.dump();
}
