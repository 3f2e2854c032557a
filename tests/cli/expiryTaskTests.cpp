#include "cli/expiryTask.h"

#include <gtest/gtest.h>

#include <string>

namespace {

FILETIME utc(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    FILETIME stamp{};
    ::SystemTimeToFileTime(&time, &stamp);
    return stamp;
}

// The text of the first element of that name, or "(missing)".
std::wstring element(const std::wstring& xml, const std::wstring& name) {
    const std::wstring open = L"<" + name + L">";
    const std::size_t start = xml.find(open);
    const std::size_t end = xml.find(L"</" + name + L">");
    if (start == std::wstring::npos || end == std::wstring::npos)
        return L"(missing)";
    return xml.substr(start + open.size(), end - start - open.size());
}

bool sameTime(const FILETIME& left, const FILETIME& right) {
    return ::CompareFileTime(&left, &right) == 0;
}

} // namespace

TEST(expiryTask, durationsAreWholeMinutesHoursOrDaysUpToThirtyDays) {
    const struct {
        const wchar_t* text;
        ULONGLONG seconds; // 0: refused
    } rows[] = {
        {L"30m", 1800},     {L"8h", 28800}, {L"2d", 172800},   {L"30d", 2592000},
        {L"720h", 2592000}, {L"31d", 0},    {L"721h", 0},      {L"0m", 0},
        {L"m", 0},          {L"5", 0},      {L"5s", 0},        {L"-5m", 0},
        {L"1.5h", 0},       {L"", 0},       {L"99999999d", 0}, {L"5M", 0},
    };
    for (const auto& r : rows) {
        const std::optional<ULONGLONG> seconds = parseExpiryDuration(r.text);
        EXPECT_EQ(r.seconds, seconds.value_or(0)) << r.text;
    }
}

TEST(expiryTask, theDefinitionRunsResetOnceForItsScopeAndRemovesItself) {
    const struct {
        expiryTarget target;
        const wchar_t* userId;
        const wchar_t* logonType;
        const wchar_t* runLevel;
        const wchar_t* arguments;
    } rows[] = {
        {expiryTarget::currentUser, L"S-1-5-21-1-2-3-1001", L"InteractiveToken", L"LeastPrivilege",
         L"reset --scope user"},
        {expiryTarget::defaultUser, L"S-1-5-18", L"(missing)", L"HighestAvailable",
         L"reset --scope default"},
        {expiryTarget::allUsers, L"S-1-5-18", L"(missing)", L"HighestAvailable",
         L"reset --scope all-users"},
    };
    for (const auto& r : rows) {
        expiryTask task;
        task.target = r.target;
        task.userSid = L"S-1-5-21-1-2-3-1001";
        task.program = L"C:\\Program Files\\R&D <tools>\\logsmithctl.exe";
        task.expiresUtc = utc(2026, 12, 9, 10, 15);
        const std::wstring xml = expiryTaskXml(task);
        EXPECT_EQ(L"2026-12-09T10:15:00Z", element(xml, L"StartBoundary")) << r.arguments;
        EXPECT_EQ(L"2027-01-08T10:15:00Z", element(xml, L"EndBoundary")) << r.arguments;
        EXPECT_EQ(r.userId, element(xml, L"UserId")) << r.arguments;
        EXPECT_EQ(r.logonType, element(xml, L"LogonType")) << r.arguments;
        EXPECT_EQ(r.runLevel, element(xml, L"RunLevel")) << r.arguments;
        EXPECT_EQ(L"C:\\Program Files\\R&amp;D &lt;tools&gt;\\logsmithctl.exe",
                  element(xml, L"Command"))
            << r.arguments;
        EXPECT_EQ(r.arguments, element(xml, L"Arguments"));
        EXPECT_EQ(L"true", element(xml, L"StartWhenAvailable")) << r.arguments;
        EXPECT_EQ(L"PT0S", element(xml, L"DeleteExpiredTaskAfter")) << r.arguments;
        EXPECT_NE(std::wstring::npos, xml.find(L"<TimeTrigger>")) << r.arguments;
    }
    EXPECT_NE(expiryTaskPath(expiryTarget::currentUser, L"S-1-5-21-1"),
              expiryTaskPath(expiryTarget::currentUser, L"S-1-5-21-2"));
}

TEST(expiryTask, schedulerTimesReadBackInEveryFormTheSchedulerWrites) {
    const FILETIME expected = utc(2026, 12, 9, 10, 15);
    for (const wchar_t* text :
         {L"2026-12-09T10:15:00Z", L"2026-12-09T11:15:00+01:00", L"2026-12-09T05:15:00-05:00"}) {
        const std::optional<FILETIME> parsed = parseSchedulerTime(text);
        ASSERT_TRUE(parsed.has_value()) << text;
        EXPECT_TRUE(sameTime(expected, *parsed)) << text;
    }
    for (const wchar_t* text : {L"", L"2026-12-09", L"2026-12-09T10:15:00Q", L"tomorrow"})
        EXPECT_FALSE(parseSchedulerTime(text).has_value()) << text;
}
