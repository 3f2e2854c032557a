#pragma once
// Which timed change (a pending "reset" task of the Task Scheduler) belongs to which profile, and
// how show, check and collect report it.
#include "cli/expiryTask.h"
#include "cli/loggingProfiles.h"
#include "cli/textOutput.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

// The task that turns a profile's logging off: the current user's own, .DEFAULT's, or the one
// for every person's profile (and the template).
expiryTarget expiryTargetOf(const loggingProfile& profile);

// The tasks a change of the scope times. skipDefault: .DEFAULT is not written (no elevation).
std::vector<expiryTarget> expiryTargetsOfScope(const std::string& scope, bool skipDefault);

// Registers one task per target, each running reset at expiresUtc; when one cannot be
// registered, the ones registered before it are removed again. S_OK or the first error.
[[nodiscard]] HRESULT scheduleExpiries(const std::vector<expiryTarget>& targets,
                                       const FILETIME& expiresUtc, bool includeNewUsers);
// Removes the pending tasks of the targets. S_OK or the first error.
[[nodiscard]] HRESULT cancelExpiries(const std::vector<expiryTarget>& targets);

// Cancels what is pending for the targets, reporting each cancelled task on out. A scheduler that
// cannot be asked is noted on err; false when a pending task could not be removed.
bool cancelPendingExpiries(const std::vector<expiryTarget>& targets, textOutput& out,
                           textOutput& err);

// The pending expiry of a profile; nothing when none is pending. error: why the scheduler could
// not be asked (S_OK when it could).
std::optional<FILETIME> pendingExpiry(const loggingProfile& profile, HRESULT& error);

// "2026-12-09 11:15:00 local time (2026-12-09T10:15:00Z)".
std::wstring expiryText(const FILETIME& utc);
// {"utc": "2026-12-09T10:15:00Z", "local": "2026-12-09T11:15:00+01:00"}; null when none is
// pending; {"error": text} when the scheduler could not be asked.
nlohmann::json expiryJson(const std::optional<FILETIME>& utc, HRESULT error);

// The pending expiry of each timed target (current user, .DEFAULT, all users), for collect.
nlohmann::json pendingExpiriesJson();
// A manifest with that added as "pendingExpiry".
nlohmann::json withPendingExpiries(nlohmann::json manifest);

// The running program's full path, which a task starts.
std::wstring runningProgramPath();

// What a Task Scheduler result means, for a message: the system's text for a Win32 code, our own
// words for a scheduler code without system text.
std::wstring schedulerErrorText(HRESULT error);
