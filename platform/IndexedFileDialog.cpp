#include "platform/IndexedFileDialog.h"

#include "platform/fileFunctions.h"
#include "support/startupOrder.h"

#include <string>
#include <string_view>
#include <vector>

// The platform layer starts at level 2, above the framework and support.
enum : int { folderMemoryRank = startupOrder::rank(2, 1) };
CMapStringToString s_folderByExtension LOGSMITH_STARTUP_ORDER(folderMemoryRank){10};

namespace {

std::vector<std::wstring_view> splitSkippingEmpty(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring_view> pieces;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(separator), text.size());
        if (end > 0)
            pieces.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return pieces;
}

bool patternHasExtension(std::wstring_view pattern, const wchar_t* extension) {
    const std::size_t dot = pattern.rfind(L'.');
    if (dot == std::wstring_view::npos)
        return false;
    const CString patternExtension(pattern.data() + dot + 1,
                                   static_cast<int>(pattern.size() - dot - 1));
    return patternExtension.CompareNoCase(extension) == 0;
}

CString lowerCase(const wchar_t* text) {
    CString result(text);
    result.MakeLower();
    return result;
}

// The folder part of a chosen path. A file in a drive's root keeps its backslash: "D:" alone
// names the drive's current folder, not its root.
CString folderOf(const CString& path) {
    const int separator = findLastPathSeparator(path);
    if (separator < 0)
        return path;
    if (separator == 2 && path.GetAt(1) == L':')
        return path.Left(separator + 1);
    return path.Left(separator);
}

} // namespace

CIndexedFileDialog::CIndexedFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension,
                                       const wchar_t* fileName, DWORD flags, const wchar_t* filter,
                                       CWnd* parent)
    : CFileDialog(openFileDialog, defaultExtension, fileName, flags, filter, parent, 0, TRUE) {
    m_ofn.nFilterIndex = static_cast<DWORD>(findFilterIndex(filter, defaultExtension));
    m_useFolderMemory = 1;
}

void CIndexedFileDialog::DoDataExchange(CDataExchange*) {}

INT_PTR CIndexedFileDialog::DoModal() {
    // The remembered folder is handed to the system as a pointer: keep the text alive for the
    // whole run and put the caller's own choice back afterwards.
    const wchar_t* const callersInitialFolder = m_ofn.lpstrInitialDir;
    CString rememberedFolder;
    if (m_useFolderMemory &&
        s_folderByExtension.Lookup(lowerCase(defaultExtensionAsGiven()), rememberedFolder) &&
        isFolder(rememberedFolder))
        m_ofn.lpstrInitialDir = rememberedFolder;

    const INT_PTR result = CFileDialog::DoModal();
    m_ofn.lpstrInitialDir = callersInitialFolder;

    if (result == IDOK && m_useFolderMemory)
        recordChosenFolder();
    return result;
}

void CIndexedFileDialog::recordChosenFolder() {
    s_folderByExtension.SetAt(lowerCase(GetFileExt()), folderOf(GetPathName()));
}

int CIndexedFileDialog::findFilterIndex(const wchar_t* filter, const wchar_t* extension) {
    if (filter == nullptr || extension == nullptr)
        return 0;
    int number = 0;
    for (const std::wstring_view piece : splitSkippingEmpty(filter, L'|')) {
        if (piece.find(L'(') != std::wstring_view::npos)
            continue; // a description
        ++number;
        for (const std::wstring_view pattern : splitSkippingEmpty(piece, L';'))
            if (patternHasExtension(pattern, extension))
                return number;
    }
    return 0;
}
