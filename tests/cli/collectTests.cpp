// collect as a user runs it: the archive's name, logs that cannot be read or kept, archives that
// cannot be opened. The archives are read with the system's own extractor.
#include "cli/commands.h"
#include "cli/logsmithctl.h"

#include "app/loggingSettings.h"
#include "platform/knownFolders.h"
#include "support/uniqueResource.h"
#include "tests/cli/cliTesting.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

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
            names.push_back(found.cFileName);
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

struct result {
    int code;
    std::wstring out;
    std::wstring err;
    std::wstring lastLine() const {
        const std::size_t end = out.find_last_not_of(L'\n');
        const std::size_t start = end == std::wstring::npos ? 0 : out.rfind(L'\n', end);
        return end == std::wstring::npos ? L""
                                         : out.substr(start + 1, end - start); // npos + 1 is 0
    }
};

class collect : public scratchRegistry {
protected:
    void SetUp() override {
        scratchRegistry::SetUp();
        g_appData = m_folder.path();
        m_previousLookup = setFolderPathLookup(&testFolderLookup);
    }
    void TearDown() override {
        setCollectArchiveHook(nullptr);
        setFolderPathLookup(m_previousLookup);
        scratchRegistry::TearDown();
    }

    static result tool(const std::vector<std::wstring>& arguments) {
        stringOutput out;
        stringOutput err;
        const int code = run(arguments, out, err);
        return {code, out.text(), err.text()};
    }

    static void storeLog(HKEY root, const wchar_t* key, const std::wstring& file) {
        const DWORD mode = logInTarget;
        const DWORD flag = 0;
        writeRawValue(root, key, debugDataTransferValue, REG_DWORD, &mode, sizeof(mode));
        writeRawValue(root, key, debugLogFileValue, REG_SZ, file.c_str(),
                      static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
        writeRawValue(root, key, debugLogFileWriteNewFileValue, REG_DWORD, &flag, sizeof(flag));
    }

    // A log of size bytes that takes no room on disk.
    std::wstring sparseLog(const std::wstring& name, LONGLONG size) const {
        const std::wstring path = m_folder / name;
        const uniqueFileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD returned = 0;
        ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = size;
        EXPECT_TRUE(::SetFileInformationByHandle(file.get(), FileEndOfFileInfo, &end, sizeof(end)));
        return path;
    }

    tempFolder m_folder;
    folderPathLookup m_previousLookup = nullptr;
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
    storeLog(HKEY_CURRENT_USER, userKey, userLog);
    storeLog(HKEY_USERS, defaultKey, m_folder.makeFile(L"service.log", "service\n"));
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
    storeLog(HKEY_CURRENT_USER, userKey, log);
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
    storeLog(HKEY_CURRENT_USER, userKey, sparseLog(L"a.log", size));
    storeLog(HKEY_USERS, defaultKey, sparseLog(L"b.log", size));
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
    storeLog(HKEY_CURRENT_USER, userKey, m_folder.makeFile(L"run.log", "line\n"));
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
