#pragma once
// Debug logging that switches itself off: a one-time task of the system's Task Scheduler that
// runs "logsmithctl reset" for the scope that was written, at the expiry time. The task runs as
// soon as possible after a missed start (a machine that was off at the time) and deletes itself
// once its end boundary has passed.
#include <windows.h>

#include <optional>
#include <string>

// Whose logging a task turns off.
enum class expiryTarget {
    currentUser, // runs as that user, with the interactive token and no stored password
    defaultUser, // .DEFAULT: runs as SYSTEM
    allUsers,    // every person's profile: runs as SYSTEM
};

struct expiryTask {
    expiryTarget target = expiryTarget::currentUser;
    // The account of a currentUser task, as a SID string.
    std::wstring userSid;
    // The full path of the logsmithctl.exe that the task starts.
    std::wstring program;
    // An allUsers task also resets the template new accounts are made from.
    bool includeNewUsers = false;
    FILETIME expiresUtc{};
};

// The longest time a change may be timed for.
inline constexpr ULONGLONG longestExpirySeconds = 30ULL * 24 * 60 * 60;

// "30m", "8h", "2d" (a whole number of minutes, hours or days, at least one minute and at most
// 30 days) in seconds; nothing for any other text.
std::optional<ULONGLONG> parseExpiryDuration(const std::wstring& text);

// The task's path in the scheduler's tree: "\Logsmith\<name>", one per target (and per user).
std::wstring expiryTaskPath(expiryTarget target, const std::wstring& userSid);

// The task's definition in the scheduler's XML form.
std::wstring expiryTaskXml(const expiryTask& task);

// Registers the task, replacing one of the same path. S_OK or the scheduler's error.
[[nodiscard]] HRESULT registerExpiryTask(const expiryTask& task);
// Removes a pending task; one that is not there is no failure.
[[nodiscard]] HRESULT cancelExpiryTask(expiryTarget target, const std::wstring& userSid);
// The expiry of a registered task (its start boundary, in UTC); nothing when none is registered.
[[nodiscard]] HRESULT findExpiryTask(expiryTarget target, const std::wstring& userSid,
                                     std::optional<FILETIME>& expiresUtc);

// The UTC text the scheduler's XML takes, "2026-12-09T10:15:00Z", and back.
std::wstring schedulerTimeText(const FILETIME& utc);
std::optional<FILETIME> parseSchedulerTime(const std::wstring& text);

// The current process's user as a SID string; empty when the token cannot be read.
std::wstring currentUserSid();
