// collect: one cabinet with what a support case needs: both profiles' settings, a description of
// the system, the logs they name, the dialog's trace file, the default diagnostic log, and a
// manifest with each entry's origin, size and SHA-256. The cabinet is read back before it is put
// in place, and nothing of it is held in memory: logs may be as large as the cabinet may be.
#include "cli/cabinetCheck.h"
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/logsmithctl.h"
#include "cli/profileExpiry.h"
#include "cli/regFile.h"
#include "cli/systemFacts.h"

#include "archive/cabinetBuilder.h"
#include "archive/sha256.h"
#include "framework/CString.h"
#include "platform/fileIdentity.h"
#include "platform/fileReplacement.h"
#include "platform/knownFolders.h"
#include "platform/osVersion.h"
#include "support/uniqueResource.h"
#include "support/win32Errors.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr ULONGLONG mebibyte = 1024ULL * 1024;
// Logs are read and copied in pieces of this size.
constexpr DWORD chunkBytes = 1 << 20;
// Room kept for the manifest when the sizes are added up before writing.
constexpr ULONGLONG manifestAllowance = 1 << 16;

collectArchiveHook g_archiveHook = nullptr;

// A name without an extension gets the archive's own.
std::wstring archivePath(const std::wstring& path) {
    const std::size_t name = path.find_last_of(L"\\/:");
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name))
        return path + L".cab";
    return path;
}

std::string utcText(const FILETIME& time) {
    SYSTEMTIME utc{};
    ::FileTimeToSystemTime(&time, &utc);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    return text;
}

std::string utf8Of(const CString& value) {
    return toUtf8(value.GetString());
}

nlohmann::json versionView(BOOL actual) {
    nlohmann::json view = {{"version", utf8Of(getOsVersionText(actual))},
                           {"name", utf8Of(getOsName(actual))},
                           {"servicePack", utf8Of(getServicePackText(actual))},
                           {"build", utf8Of(getBuildNumberText(actual))}};
    if (!actual)
        view["servicePackName"] = utf8Of(getServicePackName());
    return view;
}

nlohmann::json systemDescription(const FILETIME& now) {
    const struct {
        const char* name;
        BOOL (*holds)();
    } predicates[] = {
        {"isVersion4WithMinor", isVersion4WithMinor},
        {"isWindows2000", isWindows2000},
        {"isWindows2000OrLater", isWindows2000OrLater},
        {"isWindowsXP", isWindowsXP},
        {"isWindows2000OrEarlier", isWindows2000OrEarlier},
        {"isLaterThanWindows2000", isLaterThanWindows2000},
        {"isWindowsVista", isWindowsVista},
        {"isWindowsVistaOrLater", isWindowsVistaOrLater},
        {"isWindows7", isWindows7},
        {"isWindows8", isWindows8},
        {"isWindowsVistaOr7", isWindowsVistaOr7},
        {"isWindows8OrLater", isWindows8OrLater},
        {"isWindows81", isWindows81},
        {"isWindowsVistaTo8", isWindowsVistaTo8},
        {"isWindows81OrLater", isWindows81OrLater},
        {"isWindows10", isWindows10},
        {"isEarlierThanWindows10", isEarlierThanWindows10},
        {"isWindows10OrLater", isWindows10OrLater},
    };
    nlohmann::json holding = nlohmann::json::object();
    for (const auto& predicate : predicates)
        holding[predicate.name] = predicate.holds() != FALSE;
    return {{"tool", toUtf8(versionText())},
            {"collectedUtc", utcText(now)},
            {"reported", versionView(FALSE)},
            {"actual", versionView(TRUE)},
            {"predicates", holding}};
}

bool isSeparator(wchar_t character) {
    return character == L'\\' || character == L'/';
}

// The computer's name; a host name longer than a NetBIOS name is taken whole.
std::wstring computerName() {
    std::wstring name(MAX_COMPUTERNAME_LENGTH + 1, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::GetComputerNameW(name.data(), &length)) {
            name.resize(length);
            return name;
        }
        if (::GetLastError() != ERROR_BUFFER_OVERFLOW || length <= name.size() || length > 256)
            break;
        name.assign(length, L'\0');
    }
    return {};
}

// logsmith-COMPUTER-YYYYMMDD-HHMMSS.cab, in local time.
std::wstring defaultArchiveName(const FILETIME& now) {
    FILETIME localTime{};
    SYSTEMTIME local{};
    if (!::FileTimeToLocalFileTime(&now, &localTime) || !::FileTimeToSystemTime(&localTime, &local))
        ::GetLocalTime(&local);
    const std::wstring computer = computerName();
    wchar_t stamp[32];
    std::swprintf(stamp, sizeof(stamp) / sizeof(stamp[0]), L"%04u%02u%02u-%02u%02u%02u",
                  local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
    return L"logsmith-" + (computer.empty() ? L"" : computer + L"-") + stamp + L".cab";
}

struct archiveTarget {
    std::wstring path;
    // Why no archive can be written there, or empty.
    std::wstring problem;
};

// An existing folder, or a name ending in a separator, takes the archive under its default name;
// another name is the archive's, with .cab added where it has no extension. A device is never one.
archiveTarget resolveArchive(const std::wstring& out, const FILETIME& now) {
    const DWORD attributes = ::GetFileAttributesW(out.c_str());
    const DWORD error = ::GetLastError();
    archiveTarget target;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // "C:" is the current folder of drive C: the name goes right after it.
        const bool joined = isSeparator(out.back()) || out.back() == L':';
        target.path = out + (joined ? L"" : L"\\") + defaultArchiveName(now);
    } else if (target.problem = notAFileReason(out); !target.problem.empty()) {
        target.path = out;
        return target;
    } else if (isSeparator(out.back())) {
        target.path = out;
        target.problem = attributes != INVALID_FILE_ATTRIBUTES
                             ? L"it names a folder, and that is a file"
                         : isMissing(error) ? L"it names a folder that does not exist"
                                            : systemErrorText(error);
        return target;
    } else {
        target.path = archivePath(out);
    }
    target.problem = notAFileReason(target.path);
    return target;
}

// Answers for a log that is not there at all, as opposed to one that cannot be read: a name
// that cannot be a file's, or a drive or share that does not exist, holds no log either.
bool isAbsentLog(DWORD error) {
    return isMissing(error) || error == ERROR_INVALID_NAME || error == ERROR_INVALID_DRIVE ||
           error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}

enum class logState { missing, unreadable, taken, takenBefore };

// A log the archive is to hold, as found before anything is written.
struct logSource {
    const char* name = "";
    const char* what = "";
    std::wstring path;
    bool reportMissing = false;

    logState state = logState::missing;
    std::wstring reason;
    uniqueFileHandle file;
    bool identified = false;
    fileIdentity identity;
    ULONGLONG size = 0;
    FILETIME written{};
    // For a log taken under an earlier name: that name's index.
    std::size_t earlier = 0;
};

// Opens the log, shared so that its writer goes on writing (or deletes it) meanwhile.
void inspectLog(logSource& log) {
    if (log.path.empty()) {
        log.reason = L"its folder is not known";
        return;
    }
    if (log.reason = notAFileReason(log.path); !log.reason.empty())
        return;
    log.file.reset(::CreateFileW(log.path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!log.file) {
        const DWORD error = ::GetLastError();
        log.reason = systemErrorText(error);
        if (isAbsentLog(error))
            return;
        log.state = logState::unreadable;
        log.identified = queryFileIdentity(log.path.c_str(), log.identity) == ERROR_SUCCESS;
        return;
    }
    if (::GetFileType(log.file.get()) != FILE_TYPE_DISK) {
        log.file.reset();
        log.reason = L"it is not a regular file";
        return;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    DWORD error = ::GetFileInformationByHandle(log.file.get(), &information)
                      ? queryFileIdentity(log.file.get(), log.identity)
                      : ::GetLastError();
    if (error != ERROR_SUCCESS) {
        log.file.reset();
        log.state = logState::unreadable;
        log.reason = systemErrorText(error);
        return;
    }
    log.state = logState::taken;
    log.identified = true;
    log.written = information.ftLastWriteTime;
    log.size = (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

std::vector<logSource> logSources() {
    std::vector<logSource> logs(4);
    logs[0].name = "logs\\user.log";
    logs[0].what = "log file of the current user";
    logs[0].path = inspectProfile(loggingProfile::currentUser).shown.fileName.GetString();
    logs[1].name = "logs\\default.log";
    logs[1].what = "log file of .DEFAULT";
    logs[1].path = inspectProfile(loggingProfile::defaultUser).shown.fileName.GetString();
    logs[0].reportMissing = logs[1].reportMissing = true;
    // Looked up without creating the product folder.
    const std::wstring folder = getProductFolderName(L"", L"Driftmark x64");
    logs[2].name = "logs\\dmLogUI_x64.txt";
    logs[2].what = "trace file of the dialog";
    logs[3].name = "logs\\Tarnwick.log";
    logs[3].what = "default diagnostic log";
    if (!folder.empty()) {
        logs[2].path = folder + L"\\dmLogUI_x64.txt";
        logs[3].path = folder + L"\\Tarnwick.log";
    }
    for (std::size_t index = 0; index < logs.size(); ++index) {
        inspectLog(logs[index]);
        for (std::size_t before = 0; before < index; ++before)
            if (logs[index].state == logState::taken && logs[before].state == logState::taken &&
                logs[before].identity == logs[index].identity) {
                logs[index].state = logState::takenBefore;
                logs[index].earlier = before;
                logs[index].file.reset();
                break;
            }
    }
    return logs;
}

[[nodiscard]] DWORD readAt(HANDLE file, ULONGLONG position, char* bytes, DWORD size, DWORD& read) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(position);
    where.OffsetHigh = static_cast<DWORD>(position >> 32);
    read = 0;
    if (::ReadFile(file, bytes, size, &read, &where) || ::GetLastError() == ERROR_HANDLE_EOF)
        return ERROR_SUCCESS;
    return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_READ_FAULT;
}

// The kept end of a log, as copied.
struct tailCopy {
    bool cut = false;
    ULONGLONG keptFrom = 0;
    ULONGLONG size = 0;
    // The log could not be read (as opposed to the copy not being written).
    bool readFailed = false;
};

// Copies the log from start up to the size it had when opened (what it gains meanwhile is left;
// what it loses is not there to copy). With skipToLine, nothing is copied up to and including the
// first line break; lineFound says whether there was one.
[[nodiscard]] DWORD copyRange(const logSource& log, ULONGLONG start, bool skipToLine, HANDLE member,
                              sha256Stream& hash, tailCopy& copy, bool& lineFound) {
    std::vector<char> buffer(chunkBytes);
    bool skipping = skipToLine;
    lineFound = false;
    for (ULONGLONG position = start; position < log.size;) {
        DWORD read = 0;
        const DWORD wanted =
            static_cast<DWORD>(std::min<ULONGLONG>(chunkBytes, log.size - position));
        if (const DWORD error = readAt(log.file.get(), position, buffer.data(), wanted, read);
            error != ERROR_SUCCESS) {
            copy.readFailed = true;
            return error;
        }
        if (read == 0)
            break;
        DWORD first = 0;
        if (skipping) {
            const void* lineBreak = std::memchr(buffer.data(), '\n', read);
            if (lineBreak == nullptr) {
                position += read;
                continue;
            }
            first = static_cast<DWORD>(static_cast<const char*>(lineBreak) - buffer.data()) + 1;
            copy.keptFrom = position + first;
            skipping = false;
            lineFound = true;
        }
        if (const DWORD error = writeAll(member, buffer.data() + first, read - first);
            error != ERROR_SUCCESS)
            return error;
        hash.add(buffer.data() + first, read - first);
        copy.size += read - first;
        position += read;
    }
    return hash.status();
}

// Copies at most the last limit bytes of the log into member. A cut part starts after the first
// line break in the last limit bytes; when there is none, the bytes are kept as they are.
[[nodiscard]] DWORD copyTail(const logSource& log, ULONGLONG limit, HANDLE member,
                             sha256Stream& hash, tailCopy& copy) {
    copy.cut = log.size > limit;
    // One byte more than the limit tells whether the cut falls on a line start.
    const ULONGLONG from = copy.cut ? log.size - limit - 1 : 0;
    bool lineFound = false;
    const DWORD error = copyRange(log, from, copy.cut, member, hash, copy, lineFound);
    if (error != ERROR_SUCCESS || !copy.cut || lineFound)
        return error;
    copy.keptFrom = from + 1;
    return copyRange(log, from + 1, false, member, hash, copy, lineFound);
}

struct generatedEntry {
    std::string name;
    std::string source;
    std::string bytes;
};

std::vector<generatedEntry> generatedEntries(const FILETIME& now) {
    // What is not stored shows in settings.json: the export's notes are not repeated.
    stringOutput notes;
    int values = 0;
    const std::wstring exported = exportedText("all", values, notes);
    stringOutput shown;
    showCommand(showOptions{"all", true}, shown);
    return {{"settings.reg", "logsmithctl export", regFileBytes(exported)},
            {"settings.json", "logsmithctl show --json", toUtf8(shown.text())},
            {"system.json", "the system's version functions",
             withSystemFacts(systemDescription(now)).dump(2) + "\n"}};
}

// The archive's contents and the manifest that describes them, written into a cabinet and read
// back from it.
class collection {
public:
    collection(const FILETIME& now, ULONGLONG logLimit, std::vector<generatedEntry> generated,
               std::vector<logSource>& logs)
        : m_now(now), m_logLimit(logLimit), m_generated(std::move(generated)), m_logs(logs) {}

    // The most the cabinet can hold of what was found, before compression.
    ULONGLONG largestInput() const {
        ULONGLONG bytes = manifestAllowance;
        for (const generatedEntry& entry : m_generated)
            bytes += entry.bytes.size();
        for (const logSource& log : m_logs)
            if (log.state == logState::taken)
                bytes += std::min(log.size, m_logLimit);
        return bytes;
    }
    ULONGLONG largestMembers() const { return m_generated.size() + m_logs.size() + 1; }

    // Writes the cabinet into archive; a log that cannot be read is left out and noted.
    [[nodiscard]] DWORD write(HANDLE archive, const std::wstring& workFolder) {
        cabinetBuilder cabinet(archive, workFolder);
        if (cabinet.status() != ERROR_SUCCESS) {
            m_cabinetMissing = true;
            return cabinet.status();
        }
        for (const generatedEntry& entry : m_generated)
            if (const DWORD error = addBytes(
                    cabinet, entry.name, {{"source", entry.source}, {"cut", false}}, entry.bytes);
                error != ERROR_SUCCESS)
                return error;
        for (logSource& log : m_logs)
            if (const DWORD error = addLog(cabinet, log); error != ERROR_SUCCESS)
                return error;
        const nlohmann::json manifest = {
            {"tool", toUtf8(versionText())}, {"collectedUtc", utcText(m_now)},
            {"maxLogBytes", m_logLimit},     {"entries", m_entries},
            {"notFound", m_notFound},        {"unreadable", m_unreadable}};
        std::string digest;
        const std::string manifestBytes = withPendingExpiries(manifest).dump(2) + "\n";
        if (const DWORD error = sha256Hex(manifestBytes, digest); error != ERROR_SUCCESS)
            return error;
        m_members.push_back({"manifest.json", manifestBytes.size(), digest});
        if (const DWORD error = cabinet.add("manifest.json", manifestBytes, m_now);
            error != ERROR_SUCCESS)
            return error;
        return cabinet.finish();
    }

    [[nodiscard]] DWORD check(HANDLE archive) {
        if (g_archiveHook != nullptr)
            g_archiveHook(archive);
        return checkCabinet(archive, m_members, m_checkProblem);
    }

    std::size_t members() const { return m_members.size(); }
    bool cabinetMissing() const { return m_cabinetMissing; }
    const std::wstring& checkProblem() const { return m_checkProblem; }
    // The logs that are there but could not be read, for the report.
    const std::vector<std::wstring>& unreadable() const { return m_unreadableText; }

private:
    [[nodiscard]] DWORD addBytes(cabinetBuilder& cabinet, const std::string& name,
                                 nlohmann::json entry, const std::string& bytes) {
        std::string digest;
        if (const DWORD error = sha256Hex(bytes, digest); error != ERROR_SUCCESS)
            return error;
        if (const DWORD error = cabinet.add(name, bytes, m_now); error != ERROR_SUCCESS)
            return error;
        record(name, std::move(entry), bytes.size(), digest);
        return ERROR_SUCCESS;
    }

    void record(const std::string& name, nlohmann::json entry, ULONGLONG size,
                const std::string& digest) {
        entry["name"] = name;
        entry["size"] = size;
        entry["sha256"] = digest;
        m_entries.push_back(std::move(entry));
        m_members.push_back({name, size, digest});
    }

    void noteUnreadable(logSource& log) {
        log.state = logState::unreadable;
        m_unreadable.push_back(
            {{"what", log.what}, {"source", toUtf8(log.path)}, {"reason", toUtf8(log.reason)}});
        m_unreadableText.push_back(fromUtf8(log.what) + L" " + printable(log.path) + L" (" +
                                   log.reason + L")");
    }

    // Adds the log's end, or notes why it is not there. A second name for a log already taken
    // is recorded on that log's entry.
    [[nodiscard]] DWORD addLog(cabinetBuilder& cabinet, logSource& log) {
        switch (log.state) {
        case logState::missing:
            m_notFound.push_back(
                {{"what", log.what}, {"source", toUtf8(log.path)}, {"reason", toUtf8(log.reason)}});
            return ERROR_SUCCESS;
        case logState::unreadable:
            noteUnreadable(log);
            return ERROR_SUCCESS;
        case logState::takenBefore:
            if (const logSource& earlier = m_logs[log.earlier]; earlier.state == logState::taken) {
                m_entries[m_entryOf.at(log.earlier)]["alsoNamedAs"].push_back(log.what);
            } else {
                log.reason = earlier.reason;
                noteUnreadable(log);
            }
            return ERROR_SUCCESS;
        case logState::taken:
            break;
        }
        sha256Stream hash;
        tailCopy copy;
        DWORD error = hash.status();
        if (error == ERROR_SUCCESS)
            error = cabinet.add(log.name, log.written, [&](HANDLE member) {
                return copyTail(log, m_logLimit, member, hash, copy);
            });
        if (copy.readFailed) {
            log.reason = systemErrorText(error);
            log.file.reset();
            noteUnreadable(log);
            return ERROR_SUCCESS;
        }
        std::string digest;
        if (error == ERROR_SUCCESS)
            error = hash.finish(digest);
        if (error != ERROR_SUCCESS)
            return error;
        nlohmann::json entry = {{"what", log.what},
                                {"source", toUtf8(log.path)},
                                {"cut", copy.cut},
                                {"originalSize", log.size}};
        if (copy.cut)
            entry["keptFrom"] = copy.keptFrom;
        m_entryOf[static_cast<std::size_t>(&log - m_logs.data())] = m_entries.size();
        record(log.name, std::move(entry), copy.size, digest);
        return ERROR_SUCCESS;
    }

    FILETIME m_now;
    ULONGLONG m_logLimit;
    std::vector<generatedEntry> m_generated;
    std::vector<logSource>& m_logs;
    nlohmann::json m_entries = nlohmann::json::array();
    nlohmann::json m_notFound = nlohmann::json::array();
    nlohmann::json m_unreadable = nlohmann::json::array();
    std::vector<std::wstring> m_unreadableText;
    // Where each log taken sits in m_entries.
    std::map<std::size_t, std::size_t> m_entryOf;
    std::vector<cabinetMember> m_members;
    bool m_cabinetMissing = false;
    std::wstring m_checkProblem;
};

// Where the cabinet's working files go: the temporary folder, else beside the archive.
std::wstring workFolderFor(const std::wstring& archive) {
    wchar_t folder[MAX_PATH + 1] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length > 0 && length <= MAX_PATH)
        return std::wstring(folder, length);
    const std::size_t slash = archive.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : archive.substr(0, slash + 1);
}

bool isOneOf(const std::wstring& path, const std::vector<fileIdentity>& identities) {
    fileIdentity identity;
    return queryFileIdentity(path.c_str(), identity) == ERROR_SUCCESS &&
           std::find(identities.begin(), identities.end(), identity) != identities.end();
}

int writeFailure(const std::wstring& path, const std::wstring& reason, textOutput& err) {
    err.write(L"logsmithctl: cannot write " + printable(path) + L": " + reason +
              L"; nothing was written\n");
    return exitFailure;
}

const wchar_t* const logIsKept =
    L"it is one of the logs being collected, which --force never replaces";

std::wstring tooLarge(ULONGLONG bytes, unsigned maxLogMb) {
    return L"the logs to keep (" + std::to_wstring(bytes / mebibyte) +
           L" MiB) do not fit in one cabinet, which holds at most " +
           std::to_wstring(cabinetLimits::cabinetBytes / mebibyte) +
           L" MiB; keep less of each log with --max-log-mb (now " + std::to_wstring(maxLogMb) +
           L")";
}

std::wstring replaceFailure(DWORD error, const collection& archive, const collectOptions& options,
                            const std::wstring& path, const std::vector<fileIdentity>& logs) {
    if (!archive.checkProblem().empty())
        return L"the archive did not pass its check: " + archive.checkProblem();
    if (archive.cabinetMissing())
        return L"the system's cabinet functions are not available: " + systemErrorText(error);
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return L"it exists (--force replaces it)";
    if (error == ERROR_FILE_TOO_LARGE)
        return L"the archive would pass the size a cabinet may have (" +
               std::to_wstring(cabinetLimits::cabinetBytes / mebibyte) +
               L" MiB); keep less of each log with --max-log-mb (now " +
               std::to_wstring(options.maxLogMb) + L")";
    if (error == ERROR_ACCESS_DENIED && isOneOf(path, logs))
        return logIsKept;
    return systemErrorText(error);
}

} // namespace

collectArchiveHook setCollectArchiveHook(collectArchiveHook hook) {
    return std::exchange(g_archiveHook, hook);
}

int collectCommand(const collectOptions& options, textOutput& out, textOutput& err) {
    if (options.archive.empty()) {
        err.write(L"logsmithctl: collect: the archive's name is empty\n");
        return exitUsage;
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const archiveTarget target = resolveArchive(options.archive, now);
    const std::wstring& path = target.path;
    if (!target.problem.empty())
        return writeFailure(path, target.problem, err);
    const bool exists = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists && !options.force)
        return writeFailure(path, L"it exists (--force replaces it)", err);

    const ULONGLONG logLimit = options.maxLogMb * mebibyte;
    std::vector<logSource> logs = logSources();
    fileReplaceOptions replacing;
    replacing.replaceExisting = options.force;
    for (const logSource& log : logs)
        if (log.identified)
            replacing.keep.push_back(log.identity);
    if (exists && isOneOf(path, replacing.keep))
        return writeFailure(path, logIsKept, err);
    for (const logSource& log : logs)
        if (log.state == logState::missing && log.reportMissing)
            err.write(L"logsmithctl: " + fromUtf8(log.what) + L" " + printable(log.path) + L": " +
                      log.reason + L"; noted in the manifest\n");

    collection archive(now, logLimit, generatedEntries(now), logs);
    // Bytes that do not compress are stored as they are: what cannot fit is known before a byte
    // is written.
    if (largestCabinetFor(archive.largestInput(), archive.largestMembers()) >
        cabinetLimits::cabinetBytes)
        return writeFailure(path, tooLarge(archive.largestInput(), options.maxLogMb), err);

    const std::wstring workFolder = workFolderFor(path);
    fileReplaceSteps steps;
    steps.write = [&](HANDLE file) { return archive.write(file, workFolder); };
    steps.check = [&](HANDLE file) { return archive.check(file); };
    if (const DWORD error =
            replaceFileStreamed(path.c_str(), steps, replacing, systemFileReplaceCalls());
        error != ERROR_SUCCESS)
        return writeFailure(path, replaceFailure(error, archive, options, path, replacing.keep),
                            err);

    std::wstring report =
        L"collected " + std::to_wstring(archive.members()) + L" files into " + printable(path);
    const std::vector<std::wstring>& unreadable = archive.unreadable();
    if (unreadable.empty()) {
        out.write(report + L"\n");
        return exitSuccess;
    }
    report += L"; " + std::to_wstring(unreadable.size()) +
              (unreadable.size() == 1 ? L" log could not be read: " : L" logs could not be read: ");
    for (std::size_t index = 0; index < unreadable.size(); ++index)
        report += (index > 0 ? L"; " : L"") + unreadable[index];
    out.write(report + L"\n");
    return exitPartial;
}
