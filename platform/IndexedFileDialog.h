#pragma once
// The common file dialog that preselects the filter entry of its default extension and opens,
// per file extension, in the folder where the user last chose a file of that kind.
#ifndef RC_INVOKED
#include "framework/CFileDialog.h"
#include "framework/CollectionClasses.h"

// Remembered folders for this run of the program: lower-case extension without the dot to a
// folder path without a trailing separator. Not saved anywhere.
extern CMapStringToString s_folderByExtension;

class CIndexedFileDialog : public CFileDialog {
public:
    // filter: "description (patterns)|patterns|...||"; descriptions must contain "(" so that
    // the entries are numbered as the system numbers them.
    CIndexedFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension = nullptr,
                       const wchar_t* fileName = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       const wchar_t* filter = nullptr, CWnd* parent = nullptr);
    ~CIndexedFileDialog() override = default;

    void DoDataExchange(CDataExchange* pDX) override;
    // Opens in the remembered folder of the default extension and records the chosen file's
    // folder (while folder memory is on); IDOK or IDCANCEL.
    INT_PTR DoModal() override;

    void setUseFolderMemory(int flag) { m_useFolderMemory = flag; }

    // 1-based number of the filter entry with a pattern of that extension (any case), or 0.
    static int findFilterIndex(const wchar_t* filter, const wchar_t* extension);

    int m_useFolderMemory = 1;

private:
    void recordChosenFolder();
};

#endif
