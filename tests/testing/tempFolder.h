#pragma once
// A fresh folder under the Wine prefix's temporary folder, removed with everything in it when the
// helper goes out of scope. Links inside are removed as links, never followed.
#include <windows.h>

#include <string>

class tempFolder {
public:
    tempFolder();
    ~tempFolder();
    tempFolder(const tempFolder&) = delete;
    tempFolder& operator=(const tempFolder&) = delete;

    // Full path without a trailing backslash.
    const std::wstring& path() const { return m_path; }
    // path() + "\" + relative.
    std::wstring operator/(const std::wstring& relative) const;

    // Creates a folder (with its parents) / a file with the given content below the folder.
    std::wstring makeFolder(const std::wstring& relative) const;
    std::wstring makeFile(const std::wstring& relative, const std::string& content = "x") const;

private:
    std::wstring m_path;
};

bool folderExists(const std::wstring& path);
bool fileExists(const std::wstring& path);
// The whole file as bytes, read while others may write or delete it; empty when it cannot be read.
std::string readFileBytes(const std::wstring& path);
// Removes a folder tree for test cleanup (read-only files included); links are not followed.
void removeTestTree(const std::wstring& path);
