#include "cli/profileChanges.h"

#include "cli/commands.h"
#include "cli/profileExpiry.h"

#include "support/uniqueResource.h"

namespace {

// An elevated token; when the token cannot be asked, the write is attempted and reports itself.
bool tokenIsElevated() {
    uniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return true;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return true;
    return elevation.TokenIsElevated != 0;
}

elevationQuery g_isElevated = &tokenIsElevated;

std::wstring lockName(const loggingProfile& profile) {
    switch (profile.kind) {
    case profileKind::currentUser:
        return L"Local\\Tarnwick.Driftmarkx64.user.set";
    case profileKind::defaultUser:
        return L"Global\\Tarnwick.Driftmarkx64.DEFAULT.set";
    case profileKind::person:
        return L"Global\\Tarnwick.Driftmarkx64." + profile.sid + L".set";
    case profileKind::newUsers:
        break;
    }
    return L"Global\\Tarnwick.Driftmarkx64.NewUsers.set";
}

// Changes of one profile run one at a time, so that a default written for a missing value cannot
// land over a value another set has just written. Where the lock cannot be had (created by
// another account, or held too long) the change goes on without it.
class profileWriteLock {
public:
    explicit profileWriteLock(const loggingProfile& profile)
        : m_mutex(::CreateMutexW(nullptr, FALSE, lockName(profile).c_str())) {
        if (m_mutex) {
            const DWORD waited = ::WaitForSingleObject(m_mutex.get(), 30000);
            m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        }
    }
    ~profileWriteLock() {
        if (m_held)
            ::ReleaseMutex(m_mutex.get());
    }
    profileWriteLock(const profileWriteLock&) = delete;
    profileWriteLock& operator=(const profileWriteLock&) = delete;

private:
    uniqueKernelHandle m_mutex;
    bool m_held = false;
};

std::wstring unmountableText(const loggingProfile& profile, DWORD error) {
    if (profile.hiveFile.empty())
        return L"logsmithctl: " + ownerText(profile) +
               L": the system's profile list names no hive file; skipped\n";
    return L"logsmithctl: cannot load the profile of " + ownerText(profile) + L" from " +
           printable(profile.hiveFile) + L" (" + systemErrorText(error) + L"); skipped\n";
}

} // namespace

bool processIsElevated() {
    return g_isElevated();
}

elevationQuery setElevationQuery(elevationQuery query) {
    const elevationQuery previous = g_isElevated;
    g_isElevated = query != nullptr ? query : &tokenIsElevated;
    return previous;
}

bool refuseAllUsersWithoutElevation(const std::string& scope, textOutput& err) {
    if (scope != allUsersScope || processIsElevated())
        return false;
    err.write(L"logsmithctl: --scope all-users reaches every person's profile on this machine, "
              L"which only an elevated administrator may do. Run it from an elevated prompt, or "
              L"give --scope user for your own settings.\n");
    return true;
}

bool skipsDefaultProfile(const std::string& scope, bool scopeGiven) {
    return scope == "all" && !scopeGiven && !processIsElevated();
}

profileChanges changeProfiles(const std::string& scope, bool scopeGiven, bool withNewUsers,
                              textOutput& out, textOutput& err,
                              const std::function<bool(const loggingProfile&)>& change) {
    profileChanges result;
    const bool skipDefault = skipsDefaultProfile(scope, scopeGiven);
    const DWORD listed =
        visitProfiles(scope, withNewUsers, [&](const loggingProfile& profile, DWORD mountError) {
            if (profile.kind == profileKind::defaultUser && skipDefault) {
                out.write(L"skipped: " + productKeyFullName(profile) + L"\n");
                err.write(L"logsmithctl: warning: " + productKeyFullName(profile) +
                          L" was not written: only an elevated administrator may change it. Run "
                          L"from an elevated prompt to write it too, or give --scope user.\n");
                return;
            }
            if (mountError != ERROR_SUCCESS) {
                err.write(unmountableText(profile, mountError));
                result.allChanged = false;
                return;
            }
            const profileWriteLock lock(profile);
            if (change(profile))
                result.changed[static_cast<int>(expiryTargetOf(profile))] = true;
            else
                result.allChanged = false;
        });
    if (listed != ERROR_SUCCESS) {
        err.write(L"logsmithctl: the profiles of this machine cannot be listed (" +
                  systemErrorText(listed) + L")\n");
        result.allChanged = false;
    }
    return result;
}
