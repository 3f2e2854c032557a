#include "tests/cli/cliTesting.h"

#include "cli/textOutput.h"
#include "tests/testing/childProcess.h"

namespace {

constexpr const wchar_t* backupKey = L"Software\\LogsmithTests\\realProfileBackup";

bool copyKey(const wchar_t* from, const wchar_t* to) {
    uniqueHkey source;
    uniqueHkey target;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, source.put()) == ERROR_SUCCESS &&
           ::RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             target.put(), nullptr) == ERROR_SUCCESS &&
           ::RegCopyTreeW(source.get(), nullptr, target.get()) == ERROR_SUCCESS;
}

} // namespace

void writeBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring result::lastLine() const {
    const std::size_t end = out.find_last_not_of(L'\n');
    const std::size_t start = end == std::wstring::npos ? 0 : out.rfind(L'\n', end);
    return end == std::wstring::npos ? L"" : out.substr(start + 1, end - start); // npos + 1 is 0
}

uniqueKernelHandle startProcess(const std::wstring& commandLine, const std::wstring& outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    uniqueFileHandle output(::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          &inherit, CREATE_ALWAYS, 0, nullptr));
    uniqueFileHandle input(
        ::CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION child{};
    if (!startChildProcess(nullptr, commandLine, TRUE, 0, startup, child))
        return {};
    uniqueKernelHandle thread(child.hThread);
    return uniqueKernelHandle(child.hProcess);
}

result finishProcess(const uniqueKernelHandle& process, const std::wstring& outputFile) {
    if (!process)
        return {-1, L"", L"cannot start the program"};
    if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 0xFFFF);
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    uniqueFileHandle file(::CreateFileW(outputFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    std::string bytes(65536, '\0');
    DWORD read = 0;
    ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return {static_cast<int>(code), fromUtf8(bytes), L""};
}

result runProcess(const std::wstring& commandLine, const std::wstring& outputFile) {
    return finishProcess(startProcess(commandLine, outputFile), outputFile);
}

void logsmithctl::SetUp() {
    scratchRegistry::SetUp();
    g_appData = m_folder.path();
    m_previousLookup = setFolderPathLookup(&testFolderLookup);
}

void logsmithctl::TearDown() {
    setFolderPathLookup(m_previousLookup);
    scratchRegistry::TearDown();
}

result logsmithctl::tool(const std::vector<std::wstring>& arguments) {
    stringOutput out;
    stringOutput err;
    const int code = run(arguments, out, err);
    return {code, out.text(), err.text()};
}

void logsmithctl::store(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                        DWORD flag) {
    writeRawValue(root, key, debugDataTransferValue, REG_DWORD, &mode, sizeof(mode));
    writeRawValue(root, key, debugLogFileValue, REG_SZ, file.c_str(),
                  static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    writeRawValue(root, key, debugLogFileWriteNewFileValue, REG_DWORD, &flag, sizeof(flag));
}

void logsmithctl::expectStored(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                               DWORD flag) {
    const rawRegistryValue storedMode = readRawValue(root, key, debugDataTransferValue);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedMode.type);
    EXPECT_EQ(4u, storedMode.bytes.size());
    EXPECT_EQ(mode, storedMode.dword());
    const rawRegistryValue storedFile = readRawValue(root, key, debugLogFileValue);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), storedFile.type);
    EXPECT_EQ((file.size() + 1) * sizeof(wchar_t), storedFile.bytes.size());
    EXPECT_EQ(file, storedFile.text());
    const rawRegistryValue storedFlag = readRawValue(root, key, debugLogFileWriteNewFileValue);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), storedFlag.type);
    EXPECT_EQ(4u, storedFlag.bytes.size());
    EXPECT_EQ(flag, storedFlag.dword());
}

void logsmithctlProgram::SetUp() {
    m_lock.reset(::CreateMutexW(nullptr, FALSE, L"Local\\LogsmithTests.realProfile"));
    ASSERT_TRUE(m_lock);
    ASSERT_NE(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_lock.get(), 300000));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, backupKey);
    m_saved = copyKey(userKey, backupKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
}

void logsmithctlProgram::TearDown() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, userKey);
    if (m_saved)
        copyKey(backupKey, userKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, backupKey);
    ::ReleaseMutex(m_lock.get());
}

uniqueKernelHandle logsmithctlProgram::start(const std::wstring& arguments,
                                             const std::wstring& output) {
    return startProcess(std::wstring(L"\"") + LOGSMITHCTL_PATH + L"\" " + arguments,
                        m_folder / output);
}
