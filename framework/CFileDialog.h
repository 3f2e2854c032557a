#pragma once
// The system's open and save file dialogs behind the framework's dialog interface.
#ifndef RC_INVOKED
#include "framework/CDialog.h"

#include <commdlg.h>

#include <string>
#include <vector>

class CFileDialog : public CDialog {
public:
    // defaultExtension: appended to names typed without one; written as in a filter ("*.txt",
    // ".txt") or alone ("txt"): m_ofn.lpstrDefExt gets it alone. fileName: the initial name.
    // filter: "description|patterns|description|patterns||", patterns separated by ";".
    // structureSize: 0 for the full OPENFILENAMEW. explorerStyle: the Explorer-style dialog.
    CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension = nullptr,
                const wchar_t* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                const wchar_t* filter = nullptr, CWnd* parent = nullptr, DWORD structureSize = 0,
                BOOL explorerStyle = TRUE);
    ~CFileDialog() override = default;

    // IDOK when a file was chosen, IDCANCEL when the user cancelled or the dialog failed
    // (CommDlgExtendedError tells which).
    INT_PTR DoModal() override;

    // The chosen file after IDOK: full path, name with extension, extension without the dot
    // (empty when there is none), name without extension.
    CString GetPathName() const;
    CString GetFileName() const;
    CString GetFileExt() const;
    CString GetFileTitle() const;

    // The filter in the system's form: every piece ends with a terminator, the list with one
    // more.
    static std::wstring systemFilter(const wchar_t* filter);

    // Callers may set nFilterIndex and lpstrInitialDir before DoModal; the text pointers
    // belong to this object.
    OPENFILENAMEW m_ofn{};

protected:
    // The default extension as the caller wrote it ("*.txt" stays "*.txt"), or what the caller
    // has put into m_ofn.lpstrDefExt since; null when there is none.
    const wchar_t* defaultExtensionAsGiven() const;

private:
    BOOL m_openFileDialog;
    std::wstring m_defaultExtension;
    std::wstring m_filter;
    std::vector<wchar_t> m_fileName;
    std::vector<wchar_t> m_fileTitle;
};

#endif
