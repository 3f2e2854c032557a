// The built program's resources as the system reads them: each dialog is made from its template
// and its controls are checked for what a user meets (id, kind, text, tab order, groups), not
// for where the template puts them. A typo in the resource script fails here.
#include "logsmithVersion.h"
#include "resources/resource.h"
#include "support/uniqueResource.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// One control: its class, and its kind within the class (the button type, the static type, or
// for an edit box whether it is read-only).
struct control {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text; // null: not checked
    DWORD kind;
};

DWORD kindOf(HWND window) {
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    wchar_t name[32] = L"";
    ::GetClassNameW(window, name, 32);
    if (_wcsicmp(name, L"Button") == 0)
        return style & BS_TYPEMASK;
    if (_wcsicmp(name, L"Static") == 0)
        return style & SS_TYPEMASK;
    return style & ES_READONLY;
}

std::wstring textOf(HWND window) {
    wchar_t text[256] = L"";
    ::GetWindowTextW(window, text, 256);
    return text;
}

// Dialog controls without an id of their own report 0xFFFF.
int idOf(HWND window) {
    const int id = ::GetDlgCtrlID(window);
    return id == 0xFFFF ? -1 : id;
}

INT_PTR CALLBACK plainDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

struct windowDestroyer {
    void operator()(HWND window) const { ::DestroyWindow(window); }
};
using uniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, windowDestroyer>;

class programResources : public ::testing::Test {
protected:
    void SetUp() override {
        module.reset(::LoadLibraryExW(programPath, nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module) << "cannot load " << ::GetLastError();
    }

    std::vector<BYTE> resource(const wchar_t* name, const wchar_t* type) {
        HRSRC found = ::FindResourceW(module.get(), name, type);
        if (found == nullptr)
            return {};
        HGLOBAL loaded = ::LoadResource(module.get(), found);
        const auto* bytes = static_cast<const BYTE*>(::LockResource(loaded));
        return std::vector<BYTE>(bytes, bytes + ::SizeofResource(module.get(), found));
    }

    // The dialog the program's template makes, shown (tab and group moves skip hidden
    // controls), with no handlers of the program.
    uniqueWindow dialog(int id) {
        const std::vector<BYTE> bytes = resource(MAKEINTRESOURCEW(id), RT_DIALOG);
        EXPECT_FALSE(bytes.empty()) << "no dialog " << id;
        if (bytes.empty())
            return nullptr;
        uniqueWindow window(::CreateDialogIndirectParamW(
            module.get(), reinterpret_cast<const DLGTEMPLATE*>(bytes.data()), nullptr, plainDialog,
            0));
        EXPECT_TRUE(window) << "dialog " << id << " cannot be made: " << ::GetLastError();
        if (window)
            ::ShowWindow(window.get(), SW_SHOWNA);
        return window;
    }

    // The controls in the order they were made, which is the order Tab follows.
    static void expectControls(HWND dialog, const std::vector<control>& expected) {
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        ASSERT_EQ(expected.size(), children.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "control " << i << " id " << expected[i].id);
            wchar_t name[32] = L"";
            ::GetClassNameW(children[i], name, 32);
            EXPECT_EQ(expected[i].id, idOf(children[i]));
            EXPECT_EQ(0, _wcsicmp(expected[i].windowClass, name)) << name;
            if (expected[i].text != nullptr) {
                EXPECT_EQ(expected[i].text, textOf(children[i]));
            }
            EXPECT_EQ(expected[i].kind, kindOf(children[i]));
        }
    }

    // The ids Tab visits from the first tab stop until it comes round again.
    static std::vector<int> tabOrder(HWND dialog) {
        std::vector<int> ids;
        const HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE);
        HWND at = first;
        do {
            ids.push_back(idOf(at));
            at = ::GetNextDlgTabItem(dialog, at, FALSE);
        } while (at != nullptr && at != first && ids.size() < 32);
        return ids;
    }

    // The controls with ids that the arrow keys reach from start, within its group.
    static std::vector<int> groupOf(HWND dialog, int start) {
        std::vector<int> ids;
        const HWND first = ::GetDlgItem(dialog, start);
        HWND at = first;
        do {
            if (idOf(at) != -1)
                ids.push_back(idOf(at));
            at = ::GetNextDlgGroupItem(dialog, at, FALSE);
        } while (at != nullptr && at != first && ids.size() < 32);
        return ids;
    }

    uniqueModule module;
    static constexpr const wchar_t* programPath = LOGSMITH_PROGRAM_PATH;
};

const wchar_t* const button = L"Button";
const wchar_t* const edit = L"Edit";
const wchar_t* const label = L"Static";

} // namespace

TEST_F(programResources, mainDialogHasItsControlsTabOrderAndRadioGroup) {
    const uniqueWindow main = dialog(IDD_DMDEBUGREGISTRY_DIALOG);
    ASSERT_TRUE(main);
    EXPECT_EQ(L"Logsmith (TARN internal use only, DO NOT DISTRIBUTE!)", textOf(main.get()));
    EXPECT_NE(0, ::GetWindowLongPtrW(main.get(), GWL_EXSTYLE) & WS_EX_APPWINDOW)
        << "the dialog has a taskbar button";
    const DWORD radio = BS_AUTORADIOBUTTON;
    expectControls(
        main.get(),
        {
            {-1, label, L"What type of logging behaviour do you want?", SS_LEFT},
            {IDC_MODE_TARGET, button,
             L"Write to debug log file in target application (no data will be sent to "
             L"Driftmark GUI)",
             radio},
            {IDC_MODE_GUI, button,
             L"Write to debug log file in Driftmark GUI (data will be sent to Driftmark GUI)",
             radio},
            {IDC_MODE_TARGET_AND_GUI, button,
             L"Write to debug log file in target and Driftmark GUI (data will be sent to "
             L"Driftmark GUI)",
             radio},
            {IDC_MODE_NONE, button, L"Do not log data (this is normal operation of Driftmark)",
             radio},
            {-1, label, L"&Log file name:", SS_LEFT},
            {IDC_DEBUG_LOG_FILE, edit, L"", 0},
            {IDC_BROWSE, button, L"&Browse...", BS_PUSHBUTTON},
            {IDC_DELETE_LOG_FILE, button, L"Delete Log File before recording", BS_AUTOCHECKBOX},
            {IDC_OPEN_DIRECTORY, button, L"Open Directory...", BS_PUSHBUTTON},
            {IDOK, button, L"OK", BS_DEFPUSHBUTTON},
            {IDC_APPLY, button, L"&Apply", BS_PUSHBUTTON},
            {IDCANCEL, button, L"Cancel", BS_PUSHBUTTON},
        });
    // The radios carry no tab stop; the arrow keys move among the four of them and no further.
    EXPECT_EQ((std::vector<int>{IDC_DEBUG_LOG_FILE, IDC_BROWSE, IDC_DELETE_LOG_FILE,
                                IDC_OPEN_DIRECTORY, IDOK, IDC_APPLY, IDCANCEL}),
              tabOrder(main.get()));
    EXPECT_EQ(
        (std::vector<int>{IDC_MODE_TARGET, IDC_MODE_GUI, IDC_MODE_TARGET_AND_GUI, IDC_MODE_NONE}),
        groupOf(main.get(), IDC_MODE_TARGET));
}

TEST_F(programResources, aboutBoxAndLogViewerHaveTheirControlsAndTabOrder) {
    const uniqueWindow about = dialog(IDD_ABOUTBOX);
    ASSERT_TRUE(about);
    EXPECT_EQ(L"About Logsmith", textOf(about.get()));
    const std::vector<control> aboutControls = {
        {-1, label, nullptr, SS_ICON}, {-1, label, L"Logsmith Version 1.0", SS_LEFT},
        {-1, label, nullptr, SS_LEFT}, {IDOK, button, L"OK", BS_DEFPUSHBUTTON},
        {-1, label, nullptr, SS_LEFT}, {-1, label, nullptr, SS_LEFT},
    };
    expectControls(about.get(), aboutControls);
    EXPECT_EQ(std::vector<int>{IDOK}, tabOrder(about.get()));
    EXPECT_NE(nullptr, reinterpret_cast<HICON>(
                           ::SendMessageW(::GetWindow(about.get(), GW_CHILD), STM_GETICON, 0, 0)))
        << "the program icon";

    const uniqueWindow viewer = dialog(IDD_LOG_FILE_BROWSER);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(L"Log File", textOf(viewer.get()));
    expectControls(viewer.get(), {
                                     {IDCANCEL, button, L"Close", BS_DEFPUSHBUTTON},
                                     {IDC_LOG_FILE_TEXT, edit, L"", ES_READONLY},
                                 });
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDC_LOG_FILE_TEXT}), tabOrder(viewer.get()));
}

TEST_F(programResources, aboutMenuTextIconAndManifest) {
    wchar_t text[64] = L"";
    EXPECT_EQ(18, ::LoadStringW(module.get(), IDS_ABOUTBOX, text, 64));
    EXPECT_STREQ(L"&About Logsmith...", text);

    const std::vector<BYTE> group = resource(MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u + 2 * 14u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof(count));
    ASSERT_EQ(2, count);
    // Each group entry: width, height, colour count, reserved, planes, bit count, ...
    const BYTE* first = group.data() + 6;
    const BYTE* second = first + 14;
    EXPECT_EQ(32, first[0]);
    EXPECT_EQ(32, first[1]);
    EXPECT_EQ(16, first[2]);
    EXPECT_EQ(16, second[0]);
    EXPECT_EQ(16, second[1]);
    EXPECT_EQ(16, second[2]);

    const std::vector<BYTE> manifest =
        resource(MAKEINTRESOURCEW(1), RT_MANIFEST); // the process manifest
    const std::string xml(manifest.begin(), manifest.end());
    EXPECT_NE(std::string::npos, xml.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, xml.find("uiAccess=\"false\""));
    EXPECT_NE(std::string::npos, xml.find(">true</dpiAware>"));
}

TEST_F(programResources, versionRecord) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(programPath, &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(programPath, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    const WORD version[] = {LOGSMITH_VERSION_NUMBERS};
    EXPECT_EQ(MAKELONG(version[1], version[0]), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(version[3], version[2]), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(version[1], version[0]), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(version[3], version[2]), fixed->dwProductVersionLS);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } fields[] = {
        {L"FileVersion", L"" LOGSMITH_VERSION_RECORD_TEXT},
        {L"ProductVersion", L"" LOGSMITH_VERSION_RECORD_TEXT},
        {L"FileDescription", L"Logsmith"},
        {L"ProductName", L"Logsmith"},
        {L"InternalName", L"Logsmith.exe"},
        {L"OriginalFilename", L"Logsmith.exe"},
    };
    for (const auto& field : fields) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field.name;
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            ::VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << field.name;
        EXPECT_STREQ(field.value, value) << field.name;
    }
}
