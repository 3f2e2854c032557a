#include "app/DmDebugRegistryDlg.h"

#include "framework/CWinApp.h"
#include "platform/IndexedFileDialog.h"
#include "platform/fileFunctions.h"
#include "resources/resource.h"

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
const wchar_t* const browseFilter =
    L"Driftmark Log Files (*.dmlog_x64;*.log;*.txt)|*.dmlog_x64;*.log;*.txt||";

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

    loggingSettings settings;
    readStoredSettings(settings);
    if (settings.fileName.IsEmpty())
        settings.fileName = defaultLogFileName();

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    showSettings(settings);
    SetWindowText(windowCaption);
    updateFileControls();
    return TRUE;
}

// A value that is missing or cannot be read keeps the default it was given.
void CDmDebugRegistryDlg::readStoredSettings(loggingSettings& settings) {
    if (!openProductKey(0, 0))
        return;
    readLoggingSettings(m_hProductKey, settings);
    closeProductKey();
}

void CDmDebugRegistryDlg::showSettings(const loggingSettings& settings) {
    SetDlgItemText(IDC_DEBUG_LOG_FILE, settings.fileName);
    for (const modeButton& button : modeButtons)
        CheckDlgButton(button.id, button.mode == settings.mode ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_DELETE_LOG_FILE, settings.writeNewFile != 0 ? BST_CHECKED : BST_UNCHECKED);
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

void CDmDebugRegistryDlg::OnApply() {
    loggingSettings settings;
    GetDlgItemText(IDC_DEBUG_LOG_FILE, settings.fileName);
    settings.mode = checkedMode();
    settings.writeNewFile = IsDlgButtonChecked(IDC_DELETE_LOG_FILE) == BST_CHECKED ? 1 : 0;

    if (openProductKey(0, 1)) {
        const int written = writeLoggingSettings(m_hProductKey, settings);
        closeProductKey();
        if (!written)
            MessageBox(registryWriteFailureText, registryFailureCaption,
                       MB_ICONEXCLAMATION | MB_OK);
    } else {
        MessageBox(registryOpenFailureText, registryFailureCaption, MB_ICONEXCLAMATION | MB_OK);
    }

    // The default profile is written silently.
    if (openDefaultUserProductKey()) {
        (void)writeLoggingSettings(m_hProductKey, settings);
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
    if (!isFolder(folder))
        return;
    shellExecute(m_hWnd, L"open", folder, nullptr, L"", SW_SHOW);
}
