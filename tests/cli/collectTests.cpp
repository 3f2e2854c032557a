// collect as a user runs it: what the archive holds as standard tools read it, its name, logs
// that cannot be read or kept, archives that cannot be opened or written whole. The archives are
// read with the system's own extractor.
#include "tests/cli/cliTesting.h"
#include "tests/testing/childProcess.h"
#include "tests/testing/wineHost.h"

#include "cli/commands.h"
#include "platform/osVersion.h"

#include <nlohmann/json.hpp>

#include <setupapi.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

namespace {

// The names in folder that match pattern.
std::vector<std::wstring> filesLike(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const uniqueFindHandle search(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
    if (search)
        do
            names.emplace_back(found.cFileName);
        while (::FindNextFileW(search.get(), &found));
    return names;
}

// What collect leaves behind: temporaries beside the archive or working files of this process.
bool leftovers(const std::wstring& folder) {
    wchar_t temp[MAX_PATH + 1] = L"";
    ::GetTempPathW(MAX_PATH + 1, temp);
    wchar_t work[48];
    swprintf_s(work, L"logsmith-%lx-*.tmp", ::GetCurrentProcessId());
    return !filesLike(folder, L"*.tmp").empty() || !filesLike(temp, work).empty();
}

UINT CALLBACK extractMember(void* folder, UINT notification, UINT_PTR information, UINT_PTR) {
    if (notification != SPFILENOTIFY_FILEINCABINET)
        return NO_ERROR;
    auto* member = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(information);
    std::wstring name = member->NameInCabinet;
    std::replace(name.begin(), name.end(), L'\\', L'_');
    swprintf_s(member->FullTargetName, L"%ls\\%ls", static_cast<std::wstring*>(folder)->c_str(),
               name.c_str());
    return FILEOP_DOIT;
}

// The members of a cabinet as the system's extractor reads them, by name.
std::map<std::string, std::string> extracted(const std::wstring& cabinet, const tempFolder& into) {
    std::wstring folder = into.makeFolder(L"extracted");
    EXPECT_TRUE(::SetupIterateCabinetW(cabinet.c_str(), 0, extractMember, &folder));
    std::map<std::string, std::string> members;
    for (const std::wstring& name : filesLike(folder, L"*"))
        if (name != L"." && name != L"..") {
            std::string key(name.begin(), name.end());
            std::replace(key.begin(), key.end(), '_', '\\');
            members[key] = readBytes(folder + L"\\" + name);
        }
    removeTestTree(folder);
    return members;
}

class collect : public logsmithctl {
protected:
    void TearDown() override {
        setCollectArchiveHook(nullptr);
        logsmithctl::TearDown();
    }

    // A log of size bytes that takes no room on disk.
    std::wstring sparseLog(const std::wstring& name, LONGLONG size) const {
        std::wstring path = m_folder / name;
        const uniqueFileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD returned = 0;
        ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = size;
        EXPECT_TRUE(::SetFileInformationByHandle(file.get(), FileEndOfFileInfo, &end, sizeof(end)));
        return path;
    }
};

} // namespace

TEST_F(collect, namesTheArchiveInAFolderAndRefusesDevices) {
    const std::wstring folder = m_folder.makeFolder(L"out");
    const std::wregex defaultName(L"logsmith-(.+-)?20[0-9]{6}-[0-9]{6}\\.cab");
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        int code;
        const wchar_t* message;
        bool inFolder;
    } rows[] = {
        {"folder", {L"collect", folder}, 0, L"collected", true},
        {"separator", {L"collect", folder + L"\\"}, 0, L"collected", true},
        {"no such folder", {L"collect", m_folder / L"none\\"}, 1, L"does not exist", false},
        {"empty", {L"collect", L""}, 2, L"empty", false},
        {"NUL", {L"collect", L"NUL"}, 1, L"a device", false},
        {"CON, forced", {L"collect", L"CON", L"--force"}, 1, L"a device", false},
        {"COM1", {L"collect", L"COM1"}, 1, L"a device", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const result collected = tool(row.arguments);
        EXPECT_EQ(row.code, collected.code) << collected.err;
        EXPECT_NE(std::wstring::npos, (collected.out + collected.err).find(row.message))
            << collected.err;
        const std::vector<std::wstring> archives = filesLike(folder, L"*");
        std::size_t named = 0;
        for (const std::wstring& archive : archives) {
            named += std::regex_match(archive, defaultName) ? 1 : 0;
            ::DeleteFileW((folder + L"\\" + archive).c_str());
        }
        EXPECT_EQ(row.inFolder ? 3u : 2u, archives.size()) << "., .. and the archive";
        EXPECT_EQ(row.inFolder ? 1u : 0u, named);
        EXPECT_FALSE(fileExists(m_folder / L"out.cab"));
        EXPECT_FALSE(leftovers(m_folder.path()));
    }
}

TEST_F(collect, writesWhatCanBeReadAndExitsPartialForALogThatCannotBe) {
    const std::wstring userLog = m_folder.makeFile(L"run.log", "user\n");
    store(HKEY_CURRENT_USER, userKey, logInTarget, userLog, 0);
    store(HKEY_USERS, defaultKey, logInTarget, m_folder.makeFile(L"service.log", "service\n"), 0);
    const std::wstring archive = m_folder / L"case.cab";
    const uniqueFileHandle hold(
        ::CreateFileW(userLog.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const result collected = tool({L"collect", archive});
    EXPECT_EQ(exitPartial, collected.code) << collected.err;
    EXPECT_EQ(L"collected 5 files into " + archive +
                  L"; 1 log could not be read: log file of the current user " + userLog,
              collected.lastLine().substr(0, collected.lastLine().find(L" (")));
    const std::map<std::string, std::string> members = extracted(archive, m_folder);
    EXPECT_EQ(0u, members.count("logs\\user.log"));
    EXPECT_EQ("service\n", members.at("logs\\default.log"));
    const nlohmann::json manifest = nlohmann::json::parse(members.at("manifest.json"));
    ASSERT_EQ(1u, manifest.at("unreadable").size());
    EXPECT_EQ("log file of the current user", manifest["unreadable"][0]["what"]);
    for (const nlohmann::json& missing : manifest.at("notFound"))
        EXPECT_NE("log file of the current user", missing["what"]) << "it is there";
}

TEST_F(collect, forceNeverReplacesALogBeingCollected) {
    const std::string bytes = "line 1\nline 2\n";
    const std::wstring log = m_folder.makeFile(L"self.cab", bytes);
    store(HKEY_CURRENT_USER, userKey, logInTarget, log, 0);
    const std::wstring link = m_folder / L"link.cab";
    ASSERT_TRUE(::CreateHardLinkW(link.c_str(), log.c_str(), nullptr));
    for (const std::wstring& name : {log, m_folder / L".\\self.cab", link}) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const result collected = tool({L"collect", name, L"--force"});
        EXPECT_EQ(exitFailure, collected.code);
        EXPECT_NE(std::wstring::npos, collected.err.find(L"one of the logs being collected"))
            << collected.err;
        EXPECT_EQ(bytes, readBytes(log));
        EXPECT_FALSE(leftovers(m_folder.path()));
    }
}

TEST_F(collect, refusesEarlyWhatNoCabinetCanHold) {
    const LONGLONG size = 1100ll << 20;
    store(HKEY_CURRENT_USER, userKey, logInTarget, sparseLog(L"a.log", size), 0);
    store(HKEY_USERS, defaultKey, logInTarget, sparseLog(L"b.log", size), 0);
    const std::wstring archive = m_folder / L"case.cab";
    const struct {
        const wchar_t* maxLogMb;
        int code;
        const wchar_t* message;
    } rows[] = {{L"1024", 1, L"--max-log-mb (now 1024)"}, {L"1", 0, L"collected 6 files"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const result collected = tool({L"collect", archive, L"--max-log-mb", row.maxLogMb});
        EXPECT_EQ(row.code, collected.code);
        EXPECT_NE(std::wstring::npos, (collected.out + collected.err).find(row.message))
            << collected.err;
        EXPECT_EQ(row.code == 0, fileExists(archive));
        EXPECT_FALSE(leftovers(m_folder.path()));
    }
    // No line break in the last MiB: it is kept whole.
    const nlohmann::json manifest =
        nlohmann::json::parse(extracted(archive, m_folder).at("manifest.json"));
    EXPECT_EQ(size - (1 << 20), manifest["entries"][3]["keptFrom"]);
    EXPECT_EQ(1 << 20, manifest["entries"][3]["size"]);
}

TEST_F(collect, anArchiveThatFailsItsCheckIsNeverPlaced) {
    store(HKEY_CURRENT_USER, userKey, logInTarget, m_folder.makeFile(L"run.log", "line\n"), 0);
    const std::wstring archive = m_folder / L"case.cab";
    const struct {
        const char* name;
        collectArchiveHook damage;
    } rows[] = {
        {"cut short",
         [](HANDLE file) {
             LARGE_INTEGER size{};
             ::GetFileSizeEx(file, &size);
             FILE_END_OF_FILE_INFO end{};
             end.EndOfFile.QuadPart = size.QuadPart - 16;
             ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof(end));
         }},
        {"a byte changed",
         [](HANDLE file) {
             LARGE_INTEGER size{};
             ::GetFileSizeEx(file, &size);
             OVERLAPPED where{};
             where.Offset = static_cast<DWORD>(size.QuadPart - 24);
             char byte = 0;
             DWORD done = 0;
             ::ReadFile(file, &byte, 1, &done, &where);
             byte = static_cast<char>(byte ^ 0x5A);
             ::WriteFile(file, &byte, 1, &done, &where);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(archive.c_str(), std::ios::binary) << "old";
        setCollectArchiveHook(row.damage);
        const result collected = tool({L"collect", archive, L"--force"});
        EXPECT_EQ(exitFailure, collected.code);
        EXPECT_NE(std::wstring::npos, collected.err.find(L"did not pass its check"))
            << collected.err;
        EXPECT_EQ(L"", collected.out);
        EXPECT_EQ("old", readBytes(archive));
        EXPECT_FALSE(leftovers(m_folder.path()));
    }
}

namespace {

// Runs a shell script on the Linux side; its exit code, with its output in output. Wine does not
// wait for a Linux process, so the script leaves its code in a file, which is waited for.
int runOnLinux(const tempFolder& folder, const std::string& script, std::string& output) {
    static int runs = 0;
    const std::string name = "linux-" + std::to_string(++runs);
    const std::string base = linuxPathOf(folder.path()) + "/" + name;
    const std::wstring line = L"\"" + windowsPathOf("/bin/sh") + L"\" -c \"(" + fromUtf8(script) +
                              L") >'" + fromUtf8(base) + L".out' 2>&1; echo $? >'" +
                              fromUtf8(base) + L".part'; mv '" + fromUtf8(base) + L".part' '" +
                              fromUtf8(base) + L".code'\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    if (!startChildProcess(nullptr, line, FALSE, 0, startup, child))
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
    const std::string folder = linuxPathOf(m_folder.path());
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
