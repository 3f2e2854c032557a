#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>

namespace {

std::wstring uniqueName() {
    static std::atomic<unsigned> s_counter{0};
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = L"LogsmithTests-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++s_counter);
    if (test != nullptr)
        for (const char* c = test->name(); *c != '\0' && name.size() < 80; ++c)
            name += (isalnum(static_cast<unsigned char>(*c)) ? static_cast<wchar_t>(*c) : L'_');
    return name;
}

bool isLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

tempFolder::tempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_TRUE(length > 0 && length <= MAX_PATH);
    m_path = std::wstring(temp) + uniqueName();
    EXPECT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr)) << ::GetLastError();
}

tempFolder::~tempFolder() {
    removeTestTree(m_path);
}

std::wstring tempFolder::operator/(const std::wstring& relative) const {
    return m_path + L"\\" + relative;
}

std::wstring tempFolder::makeFolder(const std::wstring& relative) const {
    std::wstring full = *this / relative;
    for (std::size_t at = m_path.size() + 1; at <= full.size(); ++at)
        if (at == full.size() || full[at] == L'\\')
            ::CreateDirectoryW(full.substr(0, at).c_str(), nullptr);
    EXPECT_TRUE(folderExists(full)) << "cannot create a test folder";
    return full;
}

std::wstring tempFolder::makeFile(const std::wstring& relative, const std::string& content) const {
    std::wstring full = *this / relative;
    HANDLE file = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << "cannot create a test file";
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    return full;
}

bool folderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string readFileBytes(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read != 0)
        bytes.append(chunk, read);
    ::CloseHandle(file);
    return bytes;
}

void removeTestTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = path + L"\\" + name;
            const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isLink(entry.dwFileAttributes)) {
                if (!(folder ? ::RemoveDirectoryW(full.c_str()) : ::DeleteFileW(full.c_str())))
                    ::DeleteFileW(full.c_str());
            } else if (folder) {
                removeTestTree(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}
