#include "cli/profileExpiry.h"

#include "cli/loggingProfiles.h"
#include "cli/textOutput.h"

#include <cstdio>

namespace {

const std::wstring& ownSid() {
    static const std::wstring sid = currentUserSid();
    return sid;
}

// Local time of a UTC time with its offset from UTC in minutes.
bool localTime(const FILETIME& utc, SYSTEMTIME& local, long& offsetMinutes) {
    SYSTEMTIME universal{};
    FILETIME back{};
    if (!::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
        !::SystemTimeToFileTime(&local, &back))
        return false;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
    };
    offsetMinutes = static_cast<long>((ticks(back) - ticks(utc)) / (60LL * 10'000'000));
    return true;
}

std::wstring offsetText(long minutes) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%lc%02ld:%02ld", minutes < 0 ? L'-' : L'+',
                  (minutes < 0 ? -minutes : minutes) / 60, (minutes < 0 ? -minutes : minutes) % 60);
    return text;
}

std::wstring localText(const SYSTEMTIME& time, wchar_t separator) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u%lc%02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
                  separator, time.wHour, time.wMinute, time.wSecond);
    return text;
}

} // namespace

std::wstring schedulerErrorText(HRESULT error) {
    if (HRESULT_FACILITY(error) == FACILITY_WIN32)
        return systemErrorText(static_cast<DWORD>(HRESULT_CODE(error)));
    // SCHED_E_SERVICE_NOT_RUNNING, which the headers we build with do not name.
    constexpr HRESULT serviceNotRunning = static_cast<HRESULT>(0x80041315UL);
    if (error == serviceNotRunning)
        return L"the Task Scheduler service is not running";
    wchar_t text[24];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"error 0x%08lX",
                  static_cast<unsigned long>(error));
    return text;
}

expiryTarget expiryTargetOf(const loggingProfile& profile) {
    switch (profile.kind) {
    case profileKind::currentUser:
        return expiryTarget::currentUser;
    case profileKind::defaultUser:
        return expiryTarget::defaultUser;
    case profileKind::person:
    case profileKind::newUsers:
        break;
    }
    return expiryTarget::allUsers;
}

std::vector<expiryTarget> expiryTargetsOfScope(const std::string& scope, bool skipDefault) {
    if (scope == allUsersScope)
        return {expiryTarget::allUsers};
    std::vector<expiryTarget> targets;
    for (const loggingProfile& profile : profilesOfScope(scope))
        if (!(skipDefault && profile.kind == profileKind::defaultUser))
            targets.push_back(expiryTargetOf(profile));
    return targets;
}

HRESULT scheduleExpiries(const std::vector<expiryTarget>& targets, const FILETIME& expiresUtc,
                         bool includeNewUsers) {
    std::vector<expiryTarget> registered;
    for (const expiryTarget target : targets) {
        expiryTask task;
        task.target = target;
        task.userSid = ownSid();
        task.program = runningProgramPath();
        task.expiresUtc = expiresUtc;
        task.includeNewUsers = includeNewUsers;
        HRESULT result = task.program.empty() ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : S_OK;
        if (SUCCEEDED(result) && target == expiryTarget::currentUser && task.userSid.empty())
            result = HRESULT_FROM_WIN32(ERROR_NO_SUCH_USER);
        if (SUCCEEDED(result))
            result = registerExpiryTask(task);
        if (FAILED(result)) {
            // A timed change that would never end is worse than none.
            (void)cancelExpiries(registered);
            return result;
        }
        registered.push_back(target);
    }
    return S_OK;
}

HRESULT cancelExpiries(const std::vector<expiryTarget>& targets) {
    HRESULT first = S_OK;
    for (const expiryTarget target : targets) {
        const HRESULT result = cancelExpiryTask(target, ownSid());
        if (FAILED(result) && SUCCEEDED(first))
            first = result;
    }
    return first;
}

bool cancelPendingExpiries(const std::vector<expiryTarget>& targets, textOutput& out,
                           textOutput& err) {
    bool cancelled = true;
    for (const expiryTarget target : targets) {
        std::optional<FILETIME> pending;
        if (const HRESULT found = findExpiryTask(target, ownSid(), pending); FAILED(found)) {
            err.write(L"logsmithctl: note: the Task Scheduler cannot be asked for a pending "
                      L"expiry (" +
                      schedulerErrorText(found) + L")\n");
            continue;
        }
        if (!pending)
            continue;
        const std::wstring path = expiryTaskPath(target, ownSid());
        if (const HRESULT result = cancelExpiryTask(target, ownSid()); FAILED(result)) {
            err.write(L"logsmithctl: the pending expiry " + path + L" cannot be cancelled (" +
                      schedulerErrorText(result) + L"); it still turns logging off at " +
                      expiryText(*pending) + L"\n");
            cancelled = false;
            continue;
        }
        out.write(L"cancelled: the expiry at " + expiryText(*pending) + L" (" + path + L")\n");
    }
    return cancelled;
}

std::optional<FILETIME> pendingExpiry(const loggingProfile& profile, HRESULT& error) {
    std::optional<FILETIME> expires;
    error = findExpiryTask(expiryTargetOf(profile), ownSid(), expires);
    // A person who runs the tool may also have timed their own profile.
    if (SUCCEEDED(error) && !expires && profile.kind == profileKind::person &&
        profile.sid == ownSid())
        error = findExpiryTask(expiryTarget::currentUser, ownSid(), expires);
    return expires;
}

std::wstring expiryText(const FILETIME& utc) {
    SYSTEMTIME local{};
    long offset = 0;
    std::wstring universal = schedulerTimeText(utc);
    if (!localTime(utc, local, offset))
        return universal;
    return localText(local, L' ') + L" local time (" + universal + L")";
}

nlohmann::json expiryJson(const std::optional<FILETIME>& utc, HRESULT error) {
    if (FAILED(error))
        return {{"error", toUtf8(schedulerErrorText(error))}};
    if (!utc)
        return nullptr;
    nlohmann::json json = {{"utc", toUtf8(schedulerTimeText(*utc))}};
    SYSTEMTIME local{};
    long offset = 0;
    if (localTime(*utc, local, offset))
        json["local"] = toUtf8(localText(local, L'T') + offsetText(offset));
    return json;
}

nlohmann::json pendingExpiriesJson() {
    const struct {
        const char* name;
        expiryTarget target;
    } targets[] = {{"user", expiryTarget::currentUser},
                   {"default", expiryTarget::defaultUser},
                   {"all-users", expiryTarget::allUsers}};
    nlohmann::json json = nlohmann::json::object();
    for (const auto& entry : targets) {
        std::optional<FILETIME> expires;
        const HRESULT error = findExpiryTask(entry.target, ownSid(), expires);
        json[entry.name] = expiryJson(expires, error);
    }
    return json;
}

nlohmann::json withPendingExpiries(nlohmann::json manifest) {
    manifest["pendingExpiry"] = pendingExpiriesJson();
    return manifest;
}

std::wstring runningProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    // The system cuts a path that does not fit and says so with ERROR_INSUFFICIENT_BUFFER.
    while (path.size() <= 32768) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return {};
}
