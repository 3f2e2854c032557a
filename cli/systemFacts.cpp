#include "cli/systemFacts.h"

#include "cli/expiryTask.h"
#include "cli/machineProfiles.h"
#include "cli/profileChanges.h"
#include "cli/textOutput.h"

#include <cstdio>
#include <string>

namespace {

std::wstring computerName(COMPUTER_NAME_FORMAT format) {
    DWORD size = 0;
    ::GetComputerNameExW(format, nullptr, &size);
    if (size == 0 || size > 1024)
        return {};
    std::wstring name(size, L'\0');
    if (!::GetComputerNameExW(format, name.data(), &size) || size >= name.size() + 1)
        return {};
    name.resize(size);
    return name;
}

// "+01:00" for a bias (UTC = local + bias) in minutes.
std::string offsetText(LONG bias) {
    const LONG offset = -bias;
    const LONG magnitude = offset < 0 ? -offset : offset;
    char text[16];
    std::snprintf(text, sizeof(text), "%c%02ld:%02ld", offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

} // namespace

nlohmann::json systemFacts() {
    nlohmann::json facts = nlohmann::json::object();
    if (const std::wstring name = computerName(ComputerNameNetBIOS); !name.empty())
        facts["computerName"] = toUtf8(name);
    if (const std::wstring name = computerName(ComputerNameDnsFullyQualified); !name.empty())
        facts["dnsName"] = toUtf8(name);
    const std::wstring sid = currentUserSid();
    if (const std::wstring user = accountNameOfSid(sid); !user.empty())
        facts["user"] = toUtf8(user);
    if (!sid.empty())
        facts["userSid"] = toUtf8(sid);
    facts["elevated"] = processIsElevated();
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    const DWORD which = ::GetDynamicTimeZoneInformation(&zone);
    if (which != TIME_ZONE_ID_INVALID) {
        const bool inDaylightTime = which == TIME_ZONE_ID_DAYLIGHT;
        // The structure's names are fixed arrays that the system terminates.
        if (zone.TimeZoneKeyName[0] != L'\0')
            facts["timeZone"] = toUtf8(zone.TimeZoneKeyName);
        facts["timeZoneName"] = toUtf8(inDaylightTime ? zone.DaylightName : zone.StandardName);
        facts["utcOffset"] =
            offsetText(zone.Bias + (inDaylightTime ? zone.DaylightBias : zone.StandardBias));
    }
    return facts;
}

nlohmann::json withSystemFacts(nlohmann::json description) {
    description.update(systemFacts());
    return description;
}
