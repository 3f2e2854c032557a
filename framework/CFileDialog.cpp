#include "framework/CFileDialog.h"

#include <strsafe.h>

#include <algorithm>

namespace {
// Room for the longest path the system supports, so no initial or chosen name is cut short.
constexpr std::size_t fileNameCapacity = 32768;
constexpr std::size_t fileTitleCapacity = MAX_PATH;

DWORD structureSizeFor(DWORD requested) {
    if (requested == 0 || requested > sizeof(OPENFILENAMEW))
        return sizeof(OPENFILENAMEW);
    return requested < OPENFILENAME_SIZE_VERSION_400W ? OPENFILENAME_SIZE_VERSION_400W : requested;
}

// The system takes the extension alone ("txt"); with a period or wildcard before it, it appends
// nothing useful to a name typed without one.
std::size_t extensionStart(const std::wstring& extension) {
    if (extension.starts_with(L"*."))
        return 2;
    return extension.starts_with(L'.') ? 1 : 0;
}
} // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension,
                         const wchar_t* fileName, DWORD flags, const wchar_t* filter, CWnd* parent,
                         DWORD structureSize, BOOL explorerStyle)
    : m_openFileDialog(openFileDialog), m_fileName(fileNameCapacity, L'\0'),
      m_fileTitle(fileTitleCapacity, L'\0') {
    m_pParentWnd = parent;
    m_ofn.lStructSize = structureSizeFor(structureSize);
    m_ofn.Flags = flags | (explorerStyle ? OFN_EXPLORER : 0);
    m_ofn.lpstrFile = m_fileName.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size());
    m_ofn.lpstrFileTitle = m_fileTitle.data();
    m_ofn.nMaxFileTitle = static_cast<DWORD>(m_fileTitle.size());
    if (fileName != nullptr)
        ::StringCchCopyW(m_fileName.data(), m_fileName.size(), fileName);
    if (defaultExtension != nullptr) {
        m_defaultExtension = defaultExtension;
        m_ofn.lpstrDefExt = m_defaultExtension.c_str() + extensionStart(m_defaultExtension);
    }
    if (filter != nullptr) {
        m_filter = systemFilter(filter);
        m_ofn.lpstrFilter = m_filter.c_str();
    }
}

std::wstring CFileDialog::systemFilter(const wchar_t* filter) {
    std::wstring result = filter != nullptr ? filter : L"";
    for (wchar_t& character : result) {
        if (character == L'|')
            character = L'\0';
    }
    // The list ends with an empty piece.
    while (result.size() < 2 || result[result.size() - 1] != L'\0' ||
           result[result.size() - 2] != L'\0')
        result += L'\0';
    return result;
}

const wchar_t* CFileDialog::defaultExtensionAsGiven() const {
    const wchar_t* ours = m_defaultExtension.c_str();
    return m_ofn.lpstrDefExt == ours + extensionStart(m_defaultExtension) ? ours
                                                                          : m_ofn.lpstrDefExt;
}

INT_PTR CFileDialog::DoModal() {
    if (m_hWnd != nullptr)
        return IDCANCEL;
    m_ofn.hwndOwner = ownerForModal();
    m_ofn.hInstance = nullptr;
    const BOOL chosen = m_openFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

CString CFileDialog::GetPathName() const {
    return CString(m_ofn.lpstrFile);
}

CString CFileDialog::GetFileName() const {
    const CString path = GetPathName();
    return path.Mid(std::max(path.ReverseFind(L'\\'), path.ReverseFind(L'/')) + 1);
}

CString CFileDialog::GetFileExt() const {
    const CString name = GetFileName();
    const int dot = name.ReverseFind(L'.');
    return dot >= 0 ? name.Mid(dot + 1) : CString();
}

CString CFileDialog::GetFileTitle() const {
    const CString name = GetFileName();
    const int dot = name.ReverseFind(L'.');
    return dot >= 0 ? name.Left(dot) : name;
}
