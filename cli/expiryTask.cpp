#include "cli/expiryTask.h"

#include "support/uniqueResource.h"

#include <sddl.h>
#include <taskschd.h>

#include <cstdio>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* taskFolder = L"\\Logsmith";
constexpr ULONGLONG fileTimeTicksPerSecond = 10'000'000;
// A task that ran stays this long after its time, then deletes itself: long enough for a machine
// that was off at the time to run it when it starts again.
constexpr ULONGLONG keptAfterExpirySeconds = 30ULL * 24 * 60 * 60;

const wchar_t* const systemSid = L"S-1-5-18";
// The description repeats the time after this, for schedulers that keep no trigger to read back.
const wchar_t* const expiresMarker = L"expires ";

template <typename T> class comPointer {
public:
    comPointer() = default;
    ~comPointer() {
        if (m_pointer != nullptr)
            m_pointer->Release();
    }
    comPointer(const comPointer&) = delete;
    comPointer& operator=(const comPointer&) = delete;
    T* operator->() const { return m_pointer; }
    T* get() const { return m_pointer; }
    T** put() { return &m_pointer; }
    void** putVoid() { return reinterpret_cast<void**>(&m_pointer); }

private:
    T* m_pointer = nullptr;
};

class bstrText {
public:
    explicit bstrText(const std::wstring& text)
        : m_text(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    bstrText() = default;
    ~bstrText() { ::SysFreeString(m_text); }
    bstrText(const bstrText&) = delete;
    bstrText& operator=(const bstrText&) = delete;
    BSTR get() const { return m_text; }
    BSTR* put() {
        ::SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    std::wstring text() const {
        return m_text ? std::wstring(m_text, ::SysStringLen(m_text)) : L"";
    }

private:
    BSTR m_text = nullptr;
};

// COM for this thread, for as long as the object lives; a thread that already has it keeps it.
class comScope {
public:
    comScope() : m_result(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~comScope() {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    comScope(const comScope&) = delete;
    comScope& operator=(const comScope&) = delete;
    HRESULT result() const { return m_result == RPC_E_CHANGED_MODE ? S_OK : m_result; }

private:
    HRESULT m_result;
};

HRESULT connect(comPointer<ITaskService>& service) {
    HRESULT result = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ITaskService, service.putVoid());
    if (FAILED(result))
        return result;
    VARIANT none{};
    ::VariantInit(&none);
    return service->Connect(none, none, none, none);
}

bool isMissing(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// The tool's folder of tasks, created when asked to.
HRESULT openFolder(ITaskService* service, bool create, comPointer<ITaskFolder>& folder) {
    const bstrText path(taskFolder);
    HRESULT result = service->GetFolder(path.get(), folder.put());
    if (!isMissing(result) || !create)
        return result;
    comPointer<ITaskFolder> root;
    const bstrText rootPath(L"\\");
    if (result = service->GetFolder(rootPath.get(), root.put()); FAILED(result))
        return result;
    VARIANT noSecurity{};
    ::VariantInit(&noSecurity);
    result = root->CreateFolder(path.get(), noSecurity, folder.put());
    if (result == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
        result = service->GetFolder(path.get(), folder.put());
    return result;
}

// The tool's folder of tasks, with COM held for as long as the object lives. A scheduler that
// cannot be reached is an error; only a missing folder is "none" (opened without creating).
class schedulerFolder {
public:
    HRESULT open(bool create) {
        if (FAILED(m_com.result()))
            return m_com.result();
        const HRESULT connected = connect(m_service);
        return FAILED(connected) ? connected : openFolder(m_service.get(), create, m_folder);
    }
    ITaskFolder* operator->() const { return m_folder.get(); }

private:
    comScope m_com;
    comPointer<ITaskService> m_service;
    comPointer<ITaskFolder> m_folder;
};

std::wstring taskName(expiryTarget target, const std::wstring& userSid) {
    switch (target) {
    case expiryTarget::currentUser:
        return L"Logging off for " + userSid;
    case expiryTarget::defaultUser:
        return L"Logging off for .DEFAULT";
    case expiryTarget::allUsers:
        break;
    }
    return L"Logging off for all users";
}

const wchar_t* scopeArgument(expiryTarget target) {
    switch (target) {
    case expiryTarget::currentUser:
        return L"user";
    case expiryTarget::defaultUser:
        return L"default";
    case expiryTarget::allUsers:
        break;
    }
    return L"all-users";
}

std::wstring xmlEscaped(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t character : text) {
        switch (character) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'>':
            escaped += L"&gt;";
            break;
        case L'"':
            escaped += L"&quot;";
            break;
        default:
            escaped += character;
        }
    }
    return escaped;
}

ULONGLONG ticksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME fileTimeOf(ULONGLONG ticks) {
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::wstring principalXml(const expiryTask& task) {
    if (task.target == expiryTarget::currentUser)
        return L"    <Principal id=\"Author\">\n      <UserId>" + xmlEscaped(task.userSid) +
               L"</UserId>\n      <LogonType>InteractiveToken</LogonType>\n"
               L"      <RunLevel>LeastPrivilege</RunLevel>\n    </Principal>\n";
    return std::wstring(L"    <Principal id=\"Author\">\n      <UserId>") + systemSid +
           L"</UserId>\n      <RunLevel>HighestAvailable</RunLevel>\n    </Principal>\n";
}

// The text between open and close after from, or nothing.
std::optional<std::wstring> textBetween(const std::wstring& text, const wchar_t* open,
                                        const wchar_t* close) {
    const std::size_t start = text.find(open);
    if (start == std::wstring::npos)
        return std::nullopt;
    const std::size_t from = start + std::wcslen(open);
    const std::size_t end = text.find(close, from);
    if (end == std::wstring::npos)
        return std::nullopt;
    return text.substr(from, end - from);
}

// The trigger's start where the scheduler kept it; else the time the description names (Wine's
// scheduler keeps no triggers).
std::optional<FILETIME> expiryInDefinition(const std::wstring& xml) {
    if (const auto start = textBetween(xml, L"<StartBoundary>", L"</StartBoundary>"))
        return parseSchedulerTime(*start);
    const auto description = textBetween(xml, L"<Description>", L"</Description>");
    if (!description)
        return std::nullopt;
    const auto time = textBetween(*description, expiresMarker, L".");
    return time ? parseSchedulerTime(*time) : std::nullopt;
}

} // namespace

std::optional<ULONGLONG> parseExpiryDuration(const std::wstring& text) {
    if (text.size() < 2 || text.size() > 8)
        return std::nullopt;
    ULONGLONG count = 0;
    for (std::size_t index = 0; index + 1 < text.size(); ++index) {
        if (text[index] < L'0' || text[index] > L'9')
            return std::nullopt;
        count = count * 10 + static_cast<ULONGLONG>(text[index] - L'0');
    }
    ULONGLONG unit = 0;
    switch (text.back()) {
    case L'm':
        unit = 60;
        break;
    case L'h':
        unit = 60ULL * 60;
        break;
    case L'd':
        unit = 24ULL * 60 * 60;
        break;
    default:
        return std::nullopt;
    }
    const ULONGLONG seconds = count * unit;
    if (count == 0 || seconds > longestExpirySeconds)
        return std::nullopt;
    return seconds;
}

std::wstring expiryTaskPath(expiryTarget target, const std::wstring& userSid) {
    return std::wstring(taskFolder) + L"\\" + taskName(target, userSid);
}

std::wstring schedulerTimeText(const FILETIME& utc) {
    SYSTEMTIME time{};
    ::FileTimeToSystemTime(&utc, &time);
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%04u-%02u-%02uT%02u:%02u:%02uZ",
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
}

std::optional<FILETIME> parseSchedulerTime(const std::wstring& text) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::swscanf(text.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2u%n", &year, &month, &day, &hour,
                     &minute, &second, &consumed) != 6)
        return std::nullopt;
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    const std::wstring zone = text.substr(static_cast<std::size_t>(consumed));
    FILETIME stamp{};
    if (zone == L"Z") {
        if (!::SystemTimeToFileTime(&time, &stamp))
            return std::nullopt;
        return stamp;
    }
    unsigned zoneHours = 0, zoneMinutes = 0;
    if (zone.size() == 6 && (zone[0] == L'+' || zone[0] == L'-') &&
        std::swscanf(zone.c_str() + 1, L"%2u:%2u", &zoneHours, &zoneMinutes) == 2) {
        if (!::SystemTimeToFileTime(&time, &stamp))
            return std::nullopt;
        const ULONGLONG offset = (zoneHours * 60ULL + zoneMinutes) * 60 * fileTimeTicksPerSecond;
        const ULONGLONG ticks = ticksOf(stamp);
        return fileTimeOf(zone[0] == L'+' ? ticks - offset : ticks + offset);
    }
    if (!zone.empty())
        return std::nullopt;
    // No zone: the machine's local time, as the scheduler reads it.
    SYSTEMTIME utc{};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &time, &utc) ||
        !::SystemTimeToFileTime(&utc, &stamp))
        return std::nullopt;
    return stamp;
}

std::wstring expiryTaskXml(const expiryTask& task) {
    const FILETIME end =
        fileTimeOf(ticksOf(task.expiresUtc) + keptAfterExpirySeconds * fileTimeTicksPerSecond);
    std::wstring arguments = std::wstring(L"reset --scope ") + scopeArgument(task.target);
    if (task.target == expiryTarget::allUsers && task.includeNewUsers)
        arguments += L" --include-new-users";
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           L"<Task version=\"1.2\" "
           L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           L"  <RegistrationInfo>\n"
           L"    <Author>Logsmith</Author>\n"
           L"    <Description>Turns Driftmark's debug logging off (logsmithctl " +
           arguments + L"), as logsmithctl set --for asked; " + expiresMarker +
           schedulerTimeText(task.expiresUtc) +
           L".</Description>\n"
           L"  </RegistrationInfo>\n"
           L"  <Triggers>\n"
           L"    <TimeTrigger>\n"
           L"      <StartBoundary>" +
           schedulerTimeText(task.expiresUtc) +
           L"</StartBoundary>\n"
           L"      <EndBoundary>" +
           schedulerTimeText(end) +
           L"</EndBoundary>\n"
           L"      <Enabled>true</Enabled>\n"
           L"    </TimeTrigger>\n"
           L"  </Triggers>\n"
           L"  <Principals>\n" +
           principalXml(task) +
           L"  </Principals>\n"
           L"  <Settings>\n"
           L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           L"    <StartWhenAvailable>true</StartWhenAvailable>\n"
           L"    <ExecutionTimeLimit>PT10M</ExecutionTimeLimit>\n"
           L"    <DeleteExpiredTaskAfter>PT0S</DeleteExpiredTaskAfter>\n"
           L"    <Enabled>true</Enabled>\n"
           L"  </Settings>\n"
           L"  <Actions Context=\"Author\">\n"
           L"    <Exec>\n"
           L"      <Command>" +
           xmlEscaped(task.program) +
           L"</Command>\n"
           L"      <Arguments>" +
           arguments +
           L"</Arguments>\n"
           L"    </Exec>\n"
           L"  </Actions>\n"
           L"</Task>\n";
}

HRESULT registerExpiryTask(const expiryTask& task) {
    schedulerFolder scheduler;
    if (const HRESULT opened = scheduler.open(true); FAILED(opened))
        return opened;
    const bstrText name(taskName(task.target, task.userSid));
    const bstrText xml(expiryTaskXml(task));
    VARIANT empty{};
    ::VariantInit(&empty);
    comPointer<IRegisteredTask> registered;
    // The account comes from the definition: the user's own token, or SYSTEM.
    return scheduler->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                   task.target == expiryTarget::currentUser
                                       ? TASK_LOGON_INTERACTIVE_TOKEN
                                       : TASK_LOGON_SERVICE_ACCOUNT,
                                   empty, registered.put());
}

HRESULT cancelExpiryTask(expiryTarget target, const std::wstring& userSid) {
    schedulerFolder scheduler;
    const HRESULT opened = scheduler.open(false);
    if (isMissing(opened))
        return S_OK;
    if (FAILED(opened))
        return opened;
    const bstrText name(taskName(target, userSid));
    const HRESULT result = scheduler->DeleteTask(name.get(), 0);
    return isMissing(result) ? S_OK : result;
}

HRESULT findExpiryTask(expiryTarget target, const std::wstring& userSid,
                       std::optional<FILETIME>& expiresUtc) {
    expiresUtc.reset();
    schedulerFolder scheduler;
    HRESULT result = scheduler.open(false);
    comPointer<IRegisteredTask> task;
    if (SUCCEEDED(result)) {
        const bstrText name(taskName(target, userSid));
        result = scheduler->GetTask(name.get(), task.put());
    }
    if (isMissing(result))
        return S_OK;
    bstrText xml;
    if (SUCCEEDED(result))
        result = task->get_Xml(xml.put());
    if (FAILED(result))
        return result;
    expiresUtc = expiryInDefinition(xml.text());
    return expiresUtc ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

std::wstring currentUserSid() {
    uniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0)
        return {};
    // Aligned for the structure and the SID behind it.
    std::vector<ULONGLONG> buffer(size / sizeof(ULONGLONG) + 1);
    auto* user = reinterpret_cast<TOKEN_USER*>(buffer.data());
    if (!::GetTokenInformation(token.get(), TokenUser, user, size, &size))
        return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(user->User.Sid, &text))
        return {};
    std::wstring sid(text);
    ::LocalFree(text);
    return sid;
}
