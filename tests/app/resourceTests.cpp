// Reads the resources of the built program, so that a typo in the resource script fails here.
#include "logsmithVersion.h"
#include "resources/resource.h"
#include "support/uniqueResource.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

struct dialogItem {
    int id;
    std::wstring windowClass; // "#128" style for predefined class atoms
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
};

struct dialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring title;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<dialogItem> items;
};

// Walks a dialog template; every read is checked against the resource's size.
class templateReader {
public:
    templateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    template <typename T> T read() {
        T value{};
        if (m_offset + sizeof(T) > m_size) {
            m_failed = true;
            return value;
        }
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }
    std::wstring readString() {
        std::wstring text;
        for (wchar_t c = read<wchar_t>(); c != 0 && !m_failed; c = read<wchar_t>())
            text += c;
        return text;
    }
    // A string, or 0xFFFF followed by an ordinal (written as "#n").
    std::wstring readNameOrOrdinal() {
        const WORD first = read<WORD>();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(read<WORD>());
        if (first == 0)
            return L"";
        m_offset -= sizeof(WORD);
        return readString();
    }
    void alignToDword() { m_offset = (m_offset + 3) & ~static_cast<std::size_t>(3); }
    void skip(std::size_t bytes) { m_offset += bytes; }
    bool failed() const { return m_failed || m_offset > m_size; }

private:
    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    bool m_failed = false;
};

// Predefined classes may be stored as an atom or by name; both read as the upper-case name.
std::wstring className(std::wstring stored) {
    if (stored == L"#128")
        return L"BUTTON";
    if (stored == L"#129")
        return L"EDIT";
    if (stored == L"#130")
        return L"STATIC";
    for (wchar_t& c : stored)
        c = static_cast<wchar_t>(::towupper(c));
    return stored;
}

dialogTemplate parseDialog(const BYTE* data, std::size_t size) {
    templateReader reader(data, size);
    dialogTemplate dialog;
    WORD count = 0;
    const WORD version = reader.read<WORD>();
    const WORD signature = reader.read<WORD>();
    dialog.extended = version == 1 && signature == 0xFFFF;
    if (dialog.extended) {
        reader.read<DWORD>(); // help id
        dialog.exStyle = reader.read<DWORD>();
        dialog.style = reader.read<DWORD>();
    } else {
        dialog.style = MAKELONG(version, signature);
        dialog.exStyle = reader.read<DWORD>();
    }
    count = reader.read<WORD>();
    dialog.x = reader.read<short>();
    dialog.y = reader.read<short>();
    dialog.cx = reader.read<short>();
    dialog.cy = reader.read<short>();
    reader.readNameOrOrdinal(); // menu
    reader.readNameOrOrdinal(); // class
    dialog.title = reader.readString();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.read<WORD>();
        if (dialog.extended) {
            reader.read<WORD>(); // weight
            reader.read<BYTE>(); // italic
            reader.read<BYTE>(); // character set
        }
        dialog.font = reader.readString();
    }
    for (WORD i = 0; i < count && !reader.failed(); ++i) {
        reader.alignToDword();
        dialogItem item{};
        if (dialog.extended) {
            reader.read<DWORD>(); // help id
            reader.read<DWORD>(); // extended style
            item.style = reader.read<DWORD>();
        } else {
            item.style = reader.read<DWORD>();
            reader.read<DWORD>(); // extended style
        }
        item.x = reader.read<short>();
        item.y = reader.read<short>();
        item.cx = reader.read<short>();
        item.cy = reader.read<short>();
        item.id = dialog.extended ? static_cast<int>(reader.read<DWORD>())
                                  : static_cast<short>(reader.read<WORD>());
        item.windowClass = className(reader.readNameOrOrdinal());
        item.text = reader.readNameOrOrdinal();
        reader.skip(reader.read<WORD>());
        dialog.items.push_back(item);
    }
    EXPECT_FALSE(reader.failed()) << "template ends early";
    return dialog;
}

const wchar_t* const buttonClass = L"BUTTON";
const wchar_t* const editClass = L"EDIT";
const wchar_t* const staticClass = L"STATIC";

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

    dialogTemplate dialog(int id) {
        const std::vector<BYTE> bytes = resource(MAKEINTRESOURCEW(id), RT_DIALOG);
        EXPECT_FALSE(bytes.empty()) << "no dialog " << id;
        return bytes.empty() ? dialogTemplate{} : parseDialog(bytes.data(), bytes.size());
    }

    static void expectItems(const dialogTemplate& dialog, const std::vector<dialogItem>& expected,
                            DWORD styleMask) {
        ASSERT_EQ(expected.size(), dialog.items.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const dialogItem& want = expected[i];
            const dialogItem& got = dialog.items[i];
            SCOPED_TRACE(testing::Message() << "control " << i << " id " << want.id);
            EXPECT_EQ(want.id, got.id);
            EXPECT_EQ(want.windowClass, got.windowClass);
            EXPECT_EQ(want.text, got.text);
            EXPECT_EQ(want.style & styleMask, got.style & styleMask);
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.cx, got.cx);
            EXPECT_EQ(want.cy, got.cy);
        }
    }

    uniqueModule module;
    static constexpr const wchar_t* programPath = LOGSMITH_PROGRAM_PATH;
};

} // namespace

TEST_F(programResources, mainDialogTemplate) {
    const dialogTemplate main = dialog(IDD_DMDEBUGREGISTRY_DIALOG);
    EXPECT_TRUE(main.extended);
    EXPECT_EQ(342, main.cx);
    EXPECT_EQ(140, main.cy);
    const DWORD style =
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(style, main.style & style);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), main.exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(L"Logsmith (TARN internal use only, DO NOT DISTRIBUTE!)", main.title);
    EXPECT_EQ(L"MS Sans Serif", main.font);
    EXPECT_EQ(8, main.pointSize);

    const DWORD radio = BS_AUTORADIOBUTTON;
    const DWORD mask = 0x0F | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | WS_BORDER | ES_READONLY;
    expectItems(
        main,
        {
            {-1, staticClass, L"What type of logging behaviour do you want?", WS_GROUP, 6, 6, 144,
             8},
            {1063, buttonClass,
             L"Write to debug log file in target application (no data will be sent to "
             L"Driftmark GUI)",
             radio, 12, 18, 293, 10},
            {1064, buttonClass,
             L"Write to debug log file in Driftmark GUI (data will be sent to Driftmark "
             L"GUI)",
             radio, 12, 30, 298, 10},
            {1071, buttonClass,
             L"Write to debug log file in target and Driftmark GUI (data will be sent to "
             L"Driftmark GUI)",
             radio, 12, 42, 332, 10},
            {1065, buttonClass, L"Do not log data (this is normal operation of Driftmark)", radio,
             12, 54, 206, 10},
            {-1, staticClass, L"&Log file name:", WS_GROUP, 6, 72, 45, 8},
            {1062, editClass, L"", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 6, 84, 275, 14},
            {1067, buttonClass, L"&Browse...", BS_PUSHBUTTON | WS_TABSTOP, 288, 84, 50, 14},
            {1072, buttonClass, L"Delete Log File before recording", BS_AUTOCHECKBOX | WS_TABSTOP,
             6, 102, 117, 10},
            {1075, buttonClass, L"Open Directory...", BS_PUSHBUTTON | WS_TABSTOP, 6, 120, 66, 14},
            {1, buttonClass, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 174, 120, 50, 14},
            {3, buttonClass, L"&Apply", BS_PUSHBUTTON | WS_TABSTOP, 230, 120, 50, 14},
            {2, buttonClass, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 284, 120, 50, 14},
        },
        mask);
}

TEST_F(programResources, aboutBoxAndLogViewerTemplates) {
    const dialogTemplate about = dialog(IDD_ABOUTBOX);
    EXPECT_FALSE(about.extended);
    EXPECT_EQ(235, about.cx);
    EXPECT_EQ(71, about.cy);
    EXPECT_EQ(L"About Logsmith", about.title);
    EXPECT_EQ(L"MS Sans Serif", about.font);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(style, about.style & style);
    ASSERT_EQ(6u, about.items.size());
    EXPECT_EQ(L"#128", about.items[0].text) << "the program icon";
    EXPECT_EQ(static_cast<DWORD>(SS_ICON), about.items[0].style & SS_TYPEMASK);
    EXPECT_EQ(L"Logsmith Version 1.0", about.items[1].text);
    EXPECT_EQ(static_cast<DWORD>(SS_NOPREFIX | WS_GROUP),
              about.items[1].style & (SS_NOPREFIX | WS_GROUP));
    EXPECT_EQ(IDOK, about.items[3].id);
    EXPECT_EQ(L"OK", about.items[3].text);
    EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), about.items[3].style & 0x0F);
    const short rects[6][4] = {{11, 17, 20, 20}, {40, 10, 119, 8}, {40, 25, 155, 10},
                               {178, 7, 50, 14}, {40, 40, 160, 8}, {40, 50, 160, 8}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rects[i][0], about.items[i].x) << i;
        EXPECT_EQ(rects[i][1], about.items[i].y) << i;
        EXPECT_EQ(rects[i][2], about.items[i].cx) << i;
        EXPECT_EQ(rects[i][3], about.items[i].cy) << i;
    }

    const dialogTemplate viewer = dialog(IDD_LOG_FILE_BROWSER);
    EXPECT_FALSE(viewer.extended);
    EXPECT_EQ(337, viewer.cx);
    EXPECT_EQ(255, viewer.cy);
    EXPECT_EQ(L"Log File", viewer.title);
    const DWORD mask = 0x0F | WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL;
    expectItems(
        viewer,
        {
            {IDCANCEL, buttonClass, L"Close", BS_DEFPUSHBUTTON | WS_TABSTOP, 285, 235, 50, 14},
            {1055, editClass, L"", WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, 5, 5, 325,
             225},
        },
        mask);
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
