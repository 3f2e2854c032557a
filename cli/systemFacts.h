#pragma once
// What tells one machine's archive from another's when support engineers read many side by side:
// the computer, the user, whether the tool ran elevated, and the time zone.
#include <nlohmann/json.hpp>

// {"computerName", "dnsName", "user", "userSid", "elevated", "timeZone", "timeZoneName",
//  "utcOffset"}; a fact the system does not give is left out.
nlohmann::json systemFacts();
// The description with the facts added.
nlohmann::json withSystemFacts(nlohmann::json description);
