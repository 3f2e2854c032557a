#pragma once
// How show and check print a profile's state: the same text lines and the same JSON shape.
#include "cli/loggingProfiles.h"
#include "cli/textOutput.h"

#include <nlohmann/json.hpp>

#include <string>

// The version of the JSON documents of show and check. Fields are added, never changed.
inline constexpr int reportFormatVersion = 1;

// A profile of the scope read: what inspectProfile found, or for a hive that could not be
// mounted, the reason in readError.
profileReport readProfile(const loggingProfile& profile, DWORD mountError);

// The profile's lines: its key, whose it is, the three values and a pending expiry.
void writeProfileText(const profileReport& report, textOutput& out);
// The profile's state as show --json prints it.
nlohmann::json profileStateJson(const profileReport& report);
