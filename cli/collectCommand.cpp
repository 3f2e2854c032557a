// collect: one cabinet with what a support case needs: both profiles' settings, a description of
// the system, the logs they name, the dialog's trace file, the default diagnostic log, and a
// manifest with each entry's origin, size and SHA-256.
#include "cli/cabinetBuilder.h"
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/logsmithctl.h"
#include "cli/profileExpiry.h"
#include "cli/regFile.h"
#include "cli/sha256.h"
#include "cli/systemFacts.h"

#include "platform/fileIdentity.h"
#include "platform/knownFolders.h"
#include "platform/osVersion.h"
#include "support/uniqueResource.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace {

constexpr ULONGLONG mebibyte = 1024 * 1024;

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

// The end of a log as read: at most the limit, from a line start where the file was cut.
struct logTail {
    std::string bytes;
    ULONGLONG originalSize = 0;
    ULONGLONG keptFrom = 0;
    bool cut = false;
    FILETIME written{};
    fileIdentity identity;
};

[[nodiscard]] DWORD readRange(HANDLE file, ULONGLONG from, ULONGLONG to, std::string& bytes) {
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(from);
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return ::GetLastError();
    bytes.resize(static_cast<std::size_t>(to - from));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 24));
        DWORD read = 0;
        if (!::ReadFile(file, bytes.data() + done, chunk, &read, nullptr))
            return ::GetLastError();
        // The writer may have cut the file short meanwhile: what is there is kept.
        if (read == 0)
            break;
        done += read;
    }
    bytes.resize(done);
    return ERROR_SUCCESS;
}

// Reads the last limit bytes of a log, shared so that its writer goes on writing (or deletes
// it) meanwhile. A cut part starts after the first line break in the last limit bytes; when
// there is none, the bytes are kept as they are.
[[nodiscard]] DWORD readLogTail(const std::wstring& path, ULONGLONG limit, logTail& tail) {
    uniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return ::GetLastError();
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return ERROR_BAD_FILE_TYPE;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file.get(), &information))
        return ::GetLastError();
    if (const DWORD error = queryFileIdentity(file.get(), tail.identity); error != ERROR_SUCCESS)
        return error;
    tail.written = information.ftLastWriteTime;
    tail.originalSize =
        (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    tail.cut = tail.originalSize > limit;
    // One byte more than the limit tells whether the cut falls on a line start.
    const ULONGLONG from = tail.cut ? tail.originalSize - limit - 1 : 0;
    if (const DWORD error = readRange(file.get(), from, tail.originalSize, tail.bytes);
        error != ERROR_SUCCESS)
        return error;
    if (!tail.cut)
        return ERROR_SUCCESS;
    const std::size_t lineBreak = tail.bytes.find('\n');
    const std::size_t dropped = lineBreak != std::string::npos ? lineBreak + 1 : 1;
    tail.bytes.erase(0, std::min(dropped, tail.bytes.size()));
    tail.keptFrom = from + dropped;
    return ERROR_SUCCESS;
}

// The archive being filled and the manifest that describes it.
class collection {
public:
    collection(const FILETIME& now, ULONGLONG logLimit, textOutput& err)
        : m_now(now), m_logLimit(logLimit), m_err(err) {}

    DWORD status() const { return m_cabinet.status(); }

    [[nodiscard]] DWORD addGenerated(const std::string& name, const std::string& source,
                                     std::string bytes) {
        return add(name, {{"source", source}, {"cut", false}}, std::move(bytes), m_now);
    }

    // Adds the log's end, or notes why it is missing. A second name for a log already taken is
    // recorded on that log's entry.
    [[nodiscard]] DWORD addLog(const std::string& name, const std::string& what,
                               const std::wstring& path, bool reportMissing) {
        logTail tail;
        std::wstring reason = path.empty() ? L"its folder is not known" : notAFileReason(path);
        if (const DWORD error = reason.empty() ? readLogTail(path, m_logLimit, tail) : 0;
            error != ERROR_SUCCESS)
            reason = systemErrorText(error);
        if (!reason.empty()) {
            m_notFound.push_back(
                {{"what", what}, {"source", toUtf8(path)}, {"reason", toUtf8(reason)}});
            if (reportMissing)
                m_err.write(L"logsmithctl: " + fromUtf8(what) + L" " + printable(path) + L": " +
                            reason + L"; noted in the manifest\n");
            return ERROR_SUCCESS;
        }
        for (std::size_t index = 0; index < m_logs.size(); ++index)
            if (m_logs[index].second == tail.identity) {
                m_entries[m_logs[index].first]["alsoNamedAs"].push_back(what);
                return ERROR_SUCCESS;
            }
        m_logs.emplace_back(m_entries.size(), tail.identity);
        nlohmann::json entry = {{"what", what},
                                {"source", toUtf8(path)},
                                {"cut", tail.cut},
                                {"originalSize", tail.originalSize}};
        if (tail.cut)
            entry["keptFrom"] = tail.keptFrom;
        return add(name, std::move(entry), std::move(tail.bytes), tail.written);
    }

    // Adds the manifest and hands out the finished cabinet.
    [[nodiscard]] DWORD finish(std::string& image) {
        const nlohmann::json manifest = {{"tool", toUtf8(versionText())},
                                         {"collectedUtc", utcText(m_now)},
                                         {"maxLogBytes", m_logLimit},
                                         {"entries", m_entries},
                                         {"notFound", m_notFound}};
        if (const DWORD error =
                m_cabinet.add("manifest.json", withPendingExpiries(manifest).dump(2) + "\n", m_now);
            error != ERROR_SUCCESS)
            return error;
        return m_cabinet.finish(image);
    }

    std::size_t entries() const { return m_entries.size() + 1; }

private:
    [[nodiscard]] DWORD add(const std::string& name, nlohmann::json entry, std::string bytes,
                            const FILETIME& time) {
        std::string digest;
        if (const DWORD error = sha256Hex(bytes, digest); error != ERROR_SUCCESS)
            return error;
        entry["name"] = name;
        entry["size"] = bytes.size();
        entry["sha256"] = digest;
        m_entries.push_back(std::move(entry));
        return m_cabinet.add(name, std::move(bytes), time);
    }

    cabinetBuilder m_cabinet;
    FILETIME m_now;
    ULONGLONG m_logLimit;
    textOutput& m_err;
    nlohmann::json m_entries = nlohmann::json::array();
    nlohmann::json m_notFound = nlohmann::json::array();
    // Index in m_entries and identity of each log taken.
    std::vector<std::pair<std::size_t, fileIdentity>> m_logs;
};

[[nodiscard]] DWORD addSettings(collection& archive) {
    // What is not stored shows in settings.json: the export's notes are not repeated.
    stringOutput notes;
    int values = 0;
    const std::wstring exported = exportedText("all", values, notes);
    if (const DWORD error =
            archive.addGenerated("settings.reg", "logsmithctl export", regFileBytes(exported));
        error != ERROR_SUCCESS)
        return error;
    stringOutput shown;
    showCommand(showOptions{"all", true}, shown);
    return archive.addGenerated("settings.json", "logsmithctl show --json", toUtf8(shown.text()));
}

[[nodiscard]] DWORD addLogs(collection& archive) {
    const struct {
        const char* name;
        const char* what;
        loggingProfile profile;
    } profileLogs[] = {
        {"logs\\user.log", "log file of the current user", loggingProfile::currentUser},
        {"logs\\default.log", "log file of .DEFAULT", loggingProfile::defaultUser},
    };
    for (const auto& log : profileLogs) {
        const std::wstring path(inspectProfile(log.profile).shown.fileName.GetString());
        if (const DWORD error = archive.addLog(log.name, log.what, path, true);
            error != ERROR_SUCCESS)
            return error;
    }
    // Looked up without creating the product folder.
    const std::wstring folder = getProductFolderName(L"", L"Driftmark x64");
    const auto inFolder = [&](const wchar_t* file) {
        return folder.empty() ? folder : folder + L"\\" + file;
    };
    if (const DWORD error = archive.addLog("logs\\dmLogUI_x64.txt", "trace file of the dialog",
                                           inFolder(L"dmLogUI_x64.txt"), false);
        error != ERROR_SUCCESS)
        return error;
    return archive.addLog("logs\\Tarnwick.log", "default diagnostic log", inFolder(L"Tarnwick.log"),
                          false);
}

// A temporary file beside the archive, removed unless it was moved into place.
class temporaryArchive {
public:
    explicit temporaryArchive(const std::wstring& target) {
        for (unsigned attempt = 0; attempt < 100 && !m_file; ++attempt) {
            wchar_t suffix[40];
            swprintf_s(suffix, L".%lx-%x.tmp", ::GetCurrentProcessId(), attempt);
            m_name = target + suffix;
            m_file.reset(::CreateFileW(m_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!m_file && ::GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        m_error = m_file ? ERROR_SUCCESS : ::GetLastError();
    }
    ~temporaryArchive() {
        const bool created = m_error == ERROR_SUCCESS;
        m_file.reset();
        if (created && !m_moved)
            ::DeleteFileW(m_name.c_str());
    }
    temporaryArchive(const temporaryArchive&) = delete;
    temporaryArchive& operator=(const temporaryArchive&) = delete;

    DWORD error() const { return m_error; }

    // Writes and flushes the image, then moves it to target.
    [[nodiscard]] DWORD placeAs(const std::string& image, const std::wstring& target, bool force) {
        for (std::size_t done = 0; done < image.size();) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(image.size() - done, 1 << 24));
            DWORD written = 0;
            if (!::WriteFile(m_file.get(), image.data() + done, chunk, &written, nullptr) ||
                written != chunk)
                return lastErrorOr(ERROR_WRITE_FAULT);
            done += chunk;
        }
        if (!::FlushFileBuffers(m_file.get()))
            return lastErrorOr(ERROR_WRITE_FAULT);
        m_file.reset();
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (force ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!::MoveFileExW(m_name.c_str(), target.c_str(), flags))
            return lastErrorOr(ERROR_WRITE_FAULT);
        m_moved = true;
        return ERROR_SUCCESS;
    }

private:
    static DWORD lastErrorOr(DWORD fallback) {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : fallback;
    }

    std::wstring m_name;
    uniqueFileHandle m_file;
    DWORD m_error = ERROR_SUCCESS;
    bool m_moved = false;
};

int writeFailure(const std::wstring& path, const std::wstring& reason, textOutput& err) {
    err.write(L"logsmithctl: cannot write " + printable(path) + L": " + reason +
              L"; nothing was written\n");
    return exitFailure;
}

} // namespace

int collectCommand(const collectOptions& options, textOutput& out, textOutput& err) {
    const std::wstring path = archivePath(options.archive);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return writeFailure(path, L"it is a folder", err);
    if (attributes != INVALID_FILE_ATTRIBUTES && !options.force)
        return writeFailure(path, L"it exists (--force replaces it)", err);
    // Made first, so that an archive that cannot be written is known before anything is read.
    temporaryArchive temporary(path);
    if (temporary.error() != ERROR_SUCCESS)
        return writeFailure(path, systemErrorText(temporary.error()), err);

    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    collection archive(now, options.maxLogMb * mebibyte, err);
    if (archive.status() != ERROR_SUCCESS)
        return writeFailure(path,
                            L"the system's cabinet functions are not available: " +
                                systemErrorText(archive.status()),
                            err);
    std::string image;
    DWORD error = addSettings(archive);
    if (error == ERROR_SUCCESS)
        error = archive.addGenerated("system.json", "the system's version functions",
                                     withSystemFacts(systemDescription(now)).dump(2) + "\n");
    if (error == ERROR_SUCCESS)
        error = addLogs(archive);
    if (error == ERROR_SUCCESS)
        error = archive.finish(image);
    if (error == ERROR_SUCCESS)
        error = temporary.placeAs(image, path, options.force);
    if (error != ERROR_SUCCESS)
        return writeFailure(path,
                            error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                                ? L"it exists (--force replaces it)"
                                : systemErrorText(error),
                            err);
    out.write(L"collected " + std::to_wstring(archive.entries()) + L" files into " +
              printable(path) + L"\n");
    return exitSuccess;
}
