#include "app/DmDebugRegistryDlg.h"

#include "framework/CWinApp.h"
#include "platform/IndexedFileDialog.h"
#include "platform/knownFolders.h"
#include "resources/resource.h"
#include "settings/readWriteSettingsToRegistry.h"

namespace {

struct modeButton {
    int id;
    DWORD mode;
};
// In the order in which Apply tests them.
constexpr modeButton modeButtons[] = {
    {IDC_MODE_TARGET, logInTarget},
    {IDC_MODE_GUI, logInGui},
    {IDC_MODE_TARGET_AND_GUI, logInTargetAndGui},
    {IDC_MODE_NONE, logNothing},
};

const wchar_t* const windowCaption = L"Logsmith x64 (TARN internal use only, DO NOT DISTRIBUTE!)";
const wchar_t* const failureCaption = L"Unable to write to registry";
const wchar_t* const openFailureText = L"Unable to open registry for writing logging data.\r\n"
                                       L"\r\n"
                                       L"Try running this tool as Administrator";
const wchar_t* const writeFailureText = L"Unable to write logging data to registry.\r\n"
                                        L"\r\n"
                                        L"Try running this tool as Administrator";
const wchar_t* const browseFilter =
    L"Driftmark Log Files (*.dmlog_x64;*.log;*.txt)|*.dmlog_x64;*.log;*.txt||";

// Where a failed settings write would be reported while diagnostic logging is on.
const wchar_t* tracePath() {
    return getCachedProductFilePath2(L"", L"Driftmark x64", L"dmLogUI_x64.txt");
}

bool isExistingFolder(const wchar_t* path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

CDmDebugRegistryDlg::shellExecuteFunction CDmDebugRegistryDlg::shellExecute = &::ShellExecuteW;

BEGIN_MESSAGE_MAP(CDmDebugRegistryDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_APPLY, &CDmDebugRegistryDlg::OnApply)
ON_BN_CLICKED(IDC_BROWSE, &CDmDebugRegistryDlg::OnBrowse)
ON_BN_CLICKED(IDC_MODE_TARGET, &CDmDebugRegistryDlg::OnModeChanged)
ON_BN_CLICKED(IDC_MODE_GUI, &CDmDebugRegistryDlg::OnModeChanged)
ON_BN_CLICKED(IDC_MODE_TARGET_AND_GUI, &CDmDebugRegistryDlg::OnModeChanged)
ON_BN_CLICKED(IDC_MODE_NONE, &CDmDebugRegistryDlg::OnModeChanged)
ON_BN_CLICKED(IDC_OPEN_DIRECTORY, &CDmDebugRegistryDlg::OnOpenDirectory)
END_MESSAGE_MAP()

CDmDebugRegistryDlg::CDmDebugRegistryDlg(CWnd* parent)
    : CDialog(IDD_DMDEBUGREGISTRY_DIALOG, parent), m_hDefaultUserKey(nullptr),
      m_hSoftwareKey(nullptr), m_hCompanyKey(nullptr), m_hProductKey(nullptr) {
    // Icons loaded from resources are shared; the dialog never destroys it.
    m_hIcon = ::LoadIconW(AfxFindResourceHandle(MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON),
                          MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CDmDebugRegistryDlg::~CDmDebugRegistryDlg() {
    closeProductKey();
}

void CDmDebugRegistryDlg::DoDataExchange(CDataExchange* /*pDX*/) {
    // The controls are read and filled by hand.
}

BOOL CDmDebugRegistryDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    addAboutMenuEntry();

    DWORD mode = logNothing;
    CString fileName;
    int writeNewFile = 1;
    readStoredSettings(mode, fileName, writeNewFile);
    if (fileName.IsEmpty())
        fileName = CString(getProductFolder(L"", L"dmDataLog")) + L"." + L"dmlog_x64";

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    showModeAndFile(mode, fileName, writeNewFile);
    SetWindowText(windowCaption);
    updateFileControls();
    return TRUE;
}

// A value that is missing or cannot be read keeps the default it was given.
void CDmDebugRegistryDlg::readStoredSettings(DWORD& mode, CString& fileName, int& writeNewFile) {
    if (!openProductKey(0, 0))
        return;
    readWriteSettingsToRegistry settings;
    settings.attachKey(m_hProductKey);
    settings.readDword(debugDataTransferValue, mode);
    settings.readCString(debugLogFileValue, fileName);
    settings.readInt(debugLogFileWriteNewFileValue, writeNewFile);
    closeProductKey();
}

void CDmDebugRegistryDlg::showModeAndFile(DWORD mode, const CString& fileName, int writeNewFile) {
    SetDlgItemText(IDC_DEBUG_LOG_FILE, fileName);
    for (const modeButton& button : modeButtons)
        CheckDlgButton(button.id, button.mode == mode ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_DELETE_LOG_FILE, writeNewFile != 0 ? BST_CHECKED : BST_UNCHECKED);
}

void CDmDebugRegistryDlg::updateFileControls() {
    const BOOL loggingChosen = IsDlgButtonChecked(IDC_MODE_TARGET) == BST_CHECKED ||
                               IsDlgButtonChecked(IDC_MODE_GUI) == BST_CHECKED ||
                               IsDlgButtonChecked(IDC_MODE_TARGET_AND_GUI) == BST_CHECKED;
    for (int id : {IDC_DEBUG_LOG_FILE, IDC_BROWSE}) {
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(loggingChosen);
    }
}

void CDmDebugRegistryDlg::OnModeChanged() {
    updateFileControls();
}

DWORD CDmDebugRegistryDlg::checkedMode() {
    for (const modeButton& button : modeButtons) {
        if (IsDlgButtonChecked(button.id) == BST_CHECKED)
            return button.mode;
    }
    return logNothing;
}

int CDmDebugRegistryDlg::writeSettings(DWORD mode, const CString& fileName, int writeNewFile) {
    readWriteSettingsToRegistry settings;
    settings.attachKey(m_hProductKey);
    const wchar_t* trace = tracePath();
    // Every write is attempted, whatever happened to the ones before.
    const int modeWritten = settings.writeDword(trace, debugDataTransferValue, mode);
    const int fileWritten = settings.writeCString(trace, debugLogFileValue, fileName);
    const int flagWritten = settings.writeInt(trace, debugLogFileWriteNewFileValue, writeNewFile);
    return modeWritten && fileWritten && flagWritten;
}

void CDmDebugRegistryDlg::OnApply() {
    CString fileName;
    GetDlgItemText(IDC_DEBUG_LOG_FILE, fileName);
    const DWORD mode = checkedMode();
    const int writeNewFile = IsDlgButtonChecked(IDC_DELETE_LOG_FILE) == BST_CHECKED ? 1 : 0;

    if (openProductKey(0, 1)) {
        const int written = writeSettings(mode, fileName, writeNewFile);
        closeProductKey();
        if (!written)
            MessageBox(writeFailureText, failureCaption, MB_ICONEXCLAMATION | MB_OK);
    } else {
        MessageBox(openFailureText, failureCaption, MB_ICONEXCLAMATION | MB_OK);
    }

    // The default profile is written silently.
    if (openDefaultUserProductKey()) {
        (void)writeSettings(mode, fileName, writeNewFile);
        closeProductKey();
    }
}

void CDmDebugRegistryDlg::OnOK() {
    OnApply();
    CDialog::OnOK();
}

void CDmDebugRegistryDlg::OnCancel() {
    CDialog::OnCancel();
}

void CDmDebugRegistryDlg::OnBrowse() {
    CString fileName;
    GetDlgItemText(IDC_DEBUG_LOG_FILE, fileName);
    CIndexedFileDialog dialog(TRUE, L"*.dmlog_x64", fileName,
                              OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, browseFilter, this);
    if (dialog.DoModal() == IDOK)
        SetDlgItemText(IDC_DEBUG_LOG_FILE, dialog.GetPathName());
}

// Only an existing folder goes to the shell: any other text, handed to the "open" verb, could
// start a program (a name typed as C:\Tools\setup.exe\x).
void CDmDebugRegistryDlg::OnOpenDirectory() {
    CString fileName;
    GetDlgItemText(IDC_DEBUG_LOG_FILE, fileName);
    const int separator = fileName.ReverseFind(L'\\');
    if (separator < 0)
        return;
    const CString folder = fileName.Left(separator);
    if (!isExistingFolder(folder))
        return;
    shellExecute(m_hWnd, L"open", folder, nullptr, L"", SW_SHOW);
}
