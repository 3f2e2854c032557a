// The tool as scripts see it: its options, exit codes and output, in-process and as the built
// program.
#include "tests/cli/cliTesting.h"
#include "tests/testing/wineHost.h"

#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/systemFacts.h"
#include "logsmithVersion.h"
#include "platform/fileFunctions.h"
#include "platform/osVersion.h"

#include <nlohmann/json.hpp>

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
    std::vector<HANDLE> handles{INVALID_HANDLE_VALUE, brokenPipe.get(), readOnly.get()};
    // A device that refuses every write with "disk full": the Linux host's, under Wine.
    uniqueFileHandle fullDevice;
    if (const std::wstring full = windowsPathOf("/dev/full"); !full.empty()) {
        fullDevice.reset(
            ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(fullDevice);
        handles.push_back(fullDevice.get());
    }
    for (HANDLE handle : handles)
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
    struct refusal {
        std::wstring arguments;
        std::wstring storedFile;
        int code;
        std::wstring message;
    };
    std::vector<refusal> rows = {
        {L"dump-settings \\\\?\\pipe\\" + pipeName, L"", 1, L"it is a device, not a file"},
        {L"dump-settings \\\\?\\NUL", L"", 1, L"it is a device, not a file"},
        {L"dump-settings \\\\?\\GLOBALROOT\\Device\\Null", L"", 1, L"it is a device, not a file"},
        {L"dump-settings C:\\logs\\nul.txt", L"", 1, L"it is a device, not a file"},
        {L"dump-settings \\\\?\\" + settings, L"", 0, L""},
        {L"check", L"C:\\logs\\a?.log", 1, L"holds characters that no file name can hold: ?"},
        {L"set --scope user --file --help", L"", 2, L"--file=--help"},
        {L"export \"" + m_folder.path() + L"\"", L"", 1, L"it is a folder; nothing was written"},
        {L"export \"" + m_folder / (L"a" + escape + L"\\out.reg") + L"\"", L"", 1, L"a\\x1b[31m"},
        {L"dump-settings \"" + m_folder / (L"b" + escape) + L"\"", L"", 1, L"b\\x1b[31m"},
    };
    // Under Wine, a Linux character device is a file that is not a regular one.
    if (const std::wstring zero = windowsPathOf("/dev/zero"); !zero.empty())
        rows.push_back({L"dump-settings " + zero, L"", 1, L"it is not a regular file"});
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
