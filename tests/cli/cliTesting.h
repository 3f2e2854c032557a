#pragma once
// What the logsmithctl tests share: the product keys below a profile's root, an application data
// folder of the test's choosing, reading and writing a file whole, running a program, and the
// fixtures that run the tool in-process on scratch roots or as the built program.
#include "app/loggingSettings.h"
#include "cli/logsmithctl.h"
#include "platform/knownFolders.h"
#include "support/uniqueResource.h"
#include "tests/testing/scratchRegistry.h"
#include "tests/testing/tempFolder.h"

#include <windows.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline const wchar_t* const userKey = L"Software\\Tarnwick\\Driftmarkx64";
inline const wchar_t* const defaultKey = L".DEFAULT\\Software\\Tarnwick\\Driftmarkx64";

// The application data folder testFolderLookup reports; set it before installing the lookup.
inline std::wstring g_appData;
inline HRESULT WINAPI testFolderLookup(HWND, int folder, HANDLE, DWORD, wchar_t* path) {
    if (folder != CSIDL_APPDATA)
        return E_FAIL;
    wcscpy_s(path, MAX_PATH, g_appData.c_str());
    return S_OK;
}

inline std::string readBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::wstring& path, const std::string& bytes);

// A run of the tool or of a program: its exit code and what it wrote.
struct result {
    int code;
    std::wstring out;
    std::wstring err;
    // The last line of the output, without its line end.
    std::wstring lastLine() const;
};

// Starts a program with its standard output in a file; null when it cannot be started.
uniqueKernelHandle startProcess(const std::wstring& commandLine, const std::wstring& outputFile);
// Waits for a started program; its exit code and output.
result finishProcess(const uniqueKernelHandle& process, const std::wstring& outputFile);
result runProcess(const std::wstring& commandLine, const std::wstring& outputFile);

// The tool run in-process, on scratch registry roots and an application data folder of its own.
class logsmithctl : public scratchRegistry {
protected:
    void SetUp() override;
    void TearDown() override;

    static result tool(const std::vector<std::wstring>& arguments);

    // The three logging values, as given.
    static void store(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                      DWORD flag);
    // The three values exactly as the dialog's Apply leaves them.
    static void expectStored(HKEY root, const wchar_t* key, DWORD mode, const std::wstring& file,
                             DWORD flag);
    // Exports both profiles (one file name each) and reads the file back with the system's reg
    // tool; defined with the export tests.
    void exportAndImport(const std::wstring& userFile, const std::wstring& defaultFile);

    tempFolder m_folder;
    folderPathLookup m_previousLookup = nullptr;
};

// The built program sees the test prefix's own registry: its current user's product key is
// saved, cleared and put back afterwards, and the tests that use it run one at a time.
class logsmithctlProgram : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    uniqueKernelHandle start(const std::wstring& arguments, const std::wstring& output);

    uniqueKernelHandle m_lock;
    bool m_saved = false;
    tempFolder m_folder;
};
