#include "platform/fileFunctions.h"

#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring programFolder() {
    wchar_t name[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, name, MAX_PATH);
    std::wstring program = name;
    return program.substr(0, program.rfind(L'\\'));
}

std::wstring parentOf(const std::wstring& folder) {
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring upper(std::wstring text) {
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

TEST(pathSeparators, areFoundFirstAndLast) {
    struct example {
        const wchar_t* text;
        int first;
        int last;
    };
    const example examples[] = {
        {L"a/b\\c", 1, 3}, {L"abc", -1, -1}, {L"", -1, -1},
        {L"\\", 0, 0},     {L"a/", 1, 1},    {L"//\\\\", 0, 3},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(narrow(e.text));
        const wchar_t* found = findNextPathSeparator(e.text);
        EXPECT_EQ(e.first, found == nullptr ? -1 : static_cast<int>(found - e.text));
        EXPECT_EQ(e.last, findLastPathSeparator(CString(e.text)));
    }
    EXPECT_EQ(nullptr, findNextPathSeparator(static_cast<const wchar_t*>(nullptr)));
}

TEST(createFolderPath, createsTheFoldersBeforeTheLastSeparator) {
    tempFolder root;
    std::wstring file = root / L"a\\b\\c.txt";
    EXPECT_EQ(1, createFolderPath(file.data()));
    EXPECT_TRUE(folderExists(root / L"a\\b"));
    EXPECT_FALSE(folderExists(file));
    EXPECT_FALSE(fileExists(file));
    EXPECT_EQ(root / L"a\\b\\c.txt", file) << "the path is restored";

    std::wstring folder = root / L"d/e\\f\\";
    EXPECT_EQ(1, createFolderPath(folder.data()));
    EXPECT_TRUE(folderExists(root / L"d\\e\\f"));
    EXPECT_EQ(root / L"d/e\\f\\", folder);
}

TEST(createFolderPath, badInputCreatesNothingAndStaysInItsString) {
    EXPECT_EQ(0, createFolderPath(nullptr));
    wchar_t empty[2] = {L'\0', L'#'};
    EXPECT_EQ(0, createFolderPath(empty));
    EXPECT_EQ(L'#', empty[1]);

    tempFolder root;
    const std::wstring saved = [] {
        wchar_t current[MAX_PATH + 1] = {};
        ::GetCurrentDirectoryW(MAX_PATH + 1, current);
        return std::wstring(current);
    }();
    ASSERT_TRUE(::SetCurrentDirectoryW(root.path().c_str()));
    struct example {
        std::wstring path;
        const wchar_t* created;
    };
    const std::vector<example> examples = {
        {L"c.txt", nullptr},
        {L"\\\\\\", nullptr},
        {L"///", nullptr},
        {std::wstring(300, L'x') + L"\\y.txt", nullptr},
        {L"rel\\" + std::wstring(300, L'x') + L"\\y.txt", L"rel"},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(narrow(e.path.substr(0, 20)));
        std::vector<wchar_t> buffer(e.path.begin(), e.path.end());
        buffer.push_back(L'\0');
        buffer.push_back(L'#');
        EXPECT_EQ(1, createFolderPath(buffer.data()));
        EXPECT_EQ(e.path, buffer.data());
        EXPECT_EQ(L'#', buffer.back());
        if (e.created != nullptr) {
            EXPECT_TRUE(folderExists(root / e.created));
        }
    }
    ::SetCurrentDirectoryW(saved.c_str());
}

TEST(pathEditing, removesCurrentFolderSegmentsAndOneTrailingBackslash) {
    struct example {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const example segments[] = {
        {L"a\\.\\b", L"a\\b"},      {L"a\\.\\.\\b", L"a\\b"},
        {L"\\.\\.\\", L"\\"},       {L".\\a", L".\\a"},
        {L"a\\..\\b", L"a\\..\\b"}, {L"a/./b", L"a/./b"},
        {L"a\\.", L"a\\."},         {L"", L""},
    };
    for (const example& e : segments) {
        CString text(e.text);
        removeCurrentFolderSegments(text);
        EXPECT_EQ(CString(e.expected), text) << narrow(e.text);
    }
    const example trailing[] = {
        {L"a\\\\", L"a\\"}, {L"a\\", L"a"}, {L"a", L"a"}, {L"", L""}, {L"a/", L"a/"}, {L"\\", L""},
    };
    for (const example& e : trailing) {
        CString text(e.text);
        removeTrailingBackslash(text);
        EXPECT_EQ(CString(e.expected), text) << narrow(e.text);
    }
}

TEST(pathQuestions, resolveFullPathsAndTellFoldersFromFiles) {
    tempFolder root;
    const std::wstring file = root.makeFile(L"f.txt");
    const struct {
        std::wstring path;
        std::wstring full;
        std::size_t fileNameAt;
    } examples[] = {
        {root / L"a\\..\\f.txt", file, root.path().size() + 1},
        {root.path() + L"\\", root.path() + L"\\", std::wstring::npos},
        {L"C:\\", L"C:\\", std::wstring::npos},
    };
    for (const auto& e : examples) {
        std::size_t fileNameAt = 0;
        EXPECT_EQ(e.full, fullPathName(e.path.c_str(), &fileNameAt)) << narrow(e.path);
        EXPECT_EQ(e.fileNameAt, fileNameAt) << narrow(e.path);
    }
    std::size_t fileNameAt = 0;
    EXPECT_EQ(L"", fullPathName(nullptr, &fileNameAt));
    EXPECT_EQ(std::wstring::npos, fileNameAt);

    EXPECT_TRUE(isFolder(root.path().c_str()));
    EXPECT_FALSE(isFolder(file.c_str()));
    EXPECT_FALSE(isFolder((root / L"none").c_str()));
}

TEST(makeRelativeToProgramFolder, climbsFromTheProgramFolderAndKeepsThePathsCase) {
    const std::wstring folder = programFolder();
    const std::wstring parent = parentOf(folder);
    const std::wstring leaf = folder.substr(parent.size() + 1);
    struct example {
        std::wstring path;
        std::wstring expected;
    };
    const std::vector<example> examples = {
        {folder + L"\\cfg\\y.ini", L"cfg\\y.ini"},
        {upper(folder) + L"\\Cfg\\Y.ini", L"Cfg\\Y.ini"},
        {parent + L"\\data\\x.txt", L"..\\data\\x.txt"},
        {parent + L"\\" + leaf + L"X\\y", L"..\\" + leaf + L"X\\y"},
        {parent + L"\\.\\data\\x.txt", L"..\\data\\x.txt"},
        {parentOf(parent) + L"\\a.txt", L"..\\..\\a.txt"},
        {L"Q:\\Other\\x.txt", L"Q:\\Other\\x.txt"},
        {L"x.txt", L"x.txt"},
        {L"", L""},
    };
    for (const example& e : examples)
        EXPECT_EQ(CString(e.expected.c_str()), makeRelativeToProgramFolder(e.path.c_str()))
            << narrow(e.path);
}

TEST(getDllSearchPath, listsTheFoldersInSearchOrder) {
    wchar_t system[MAX_PATH + 1] = {}, windows[MAX_PATH + 1] = {}, current[MAX_PATH + 1] = {};
    ::GetSystemDirectoryW(system, MAX_PATH + 1);
    ::GetWindowsDirectoryW(windows, MAX_PATH + 1);
    ::GetCurrentDirectoryW(MAX_PATH + 1, current);
    const std::wstring folders =
        programFolder() + L";" + system + L";" + windows + L";" + current + L";";

    std::wstring path(::GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
    ASSERT_FALSE(path.empty());
    path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));

    CString list(L"stale;");
    getDllSearchPath(list);
    EXPECT_EQ(CString((folders + path + L";").c_str()), list);

    ASSERT_TRUE(::SetEnvironmentVariableW(L"PATH", nullptr));
    getDllSearchPath(list);
    ::SetEnvironmentVariableW(L"PATH", path.c_str());
    EXPECT_EQ(CString(folders.c_str()), list);
}

namespace {

// Lists folders as they are, but reports entries named "link" as junctions and entries named
// "cloud" as cloud-file placeholders, which this platform cannot create.
DWORD reparseTagFor(const wchar_t* path) {
    const std::wstring name(path);
    const auto endsWith = [&](const std::wstring& tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(L"link"))
        return IO_REPARSE_TAG_MOUNT_POINT;
    return endsWith(L"cloud") ? IO_REPARSE_TAG_CLOUD : 0;
}
void markReparsePoint(WIN32_FIND_DATAW* entry) {
    entry->dwReserved0 = reparseTagFor(entry->cFileName);
    if (entry->dwReserved0 != 0)
        entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
}
HANDLE WINAPI findFirstMarking(const wchar_t* pattern, WIN32_FIND_DATAW* entry) {
    HANDLE search = ::FindFirstFileW(pattern, entry);
    if (search != INVALID_HANDLE_VALUE)
        markReparsePoint(entry);
    return search;
}
BOOL WINAPI findNextMarking(HANDLE search, WIN32_FIND_DATAW* entry) {
    const BOOL found = ::FindNextFileW(search, entry);
    if (found)
        markReparsePoint(entry);
    return found;
}
BOOL WINAPI describeMarking(const wchar_t* path, DWORD* attributes, DWORD* reparseTag) {
    *attributes = ::GetFileAttributesW(path);
    if (*attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    *reparseTag = reparseTagFor(path);
    if (*reparseTag != 0)
        *attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}
const folderListing markingListing = {&findFirstMarking, &findNextMarking, &describeMarking};

class deleteFolderTree : public ::testing::Test {
protected:
    // tree\top.txt, tree\a\a.txt, tree\a\b\b.txt, tree\a\b\c\ (empty)
    std::wstring makeTree() {
        m_root.makeFolder(L"tree\\a\\b\\c");
        m_root.makeFile(L"tree\\top.txt");
        m_root.makeFile(L"tree\\a\\a.txt");
        m_root.makeFile(L"tree\\a\\b\\b.txt");
        return m_root / L"tree";
    }
    tempFolder m_root;
};

} // namespace

TEST_F(deleteFolderTree, removesNestedFoldersAndFiles) {
    const std::wstring tree = makeTree();
    EXPECT_EQ(0, ::deleteFolderTree(tree.c_str()));
    EXPECT_FALSE(folderExists(tree));
    EXPECT_EQ(0, ::deleteFolderTree(tree.c_str())) << "a missing folder is not a failure";
    EXPECT_EQ(0, ::deleteFolderTree(L""));
    EXPECT_EQ(0, ::deleteFolderTree((tree + L"\\" + std::wstring(300, L'x')).c_str()));
}

TEST_F(deleteFolderTree, keepsTheFoldersOfAFileHeldOpen) {
    const std::wstring tree = makeTree();
    HANDLE held = ::CreateFileW((tree + L"\\a\\b\\b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(1, ::deleteFolderTree(tree.c_str()));
    ::CloseHandle(held);
    EXPECT_TRUE(fileExists(tree + L"\\a\\b\\b.txt"));
    EXPECT_FALSE(fileExists(tree + L"\\top.txt"));
    EXPECT_FALSE(fileExists(tree + L"\\a\\a.txt"));
    EXPECT_FALSE(folderExists(tree + L"\\a\\b\\c"));
}

TEST_F(deleteFolderTree, removesReadOnlyFilesAndFolders) {
    const std::wstring tree = makeTree();
    for (const wchar_t* inside : {L"\\a\\a.txt", L"\\a\\b", L""})
        ASSERT_TRUE(::SetFileAttributesW((tree + inside).c_str(),
                                         ::GetFileAttributesW((tree + inside).c_str()) |
                                             FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0, ::deleteFolderTree(tree.c_str()));
    EXPECT_FALSE(folderExists(tree));
}

TEST_F(deleteFolderTree, removesLinksWithoutEnteringThemAndEmptiesOtherReparseFolders) {
    const std::wstring tree = makeTree();
    m_root.makeFolder(L"tree\\link");
    const std::wstring kept = m_root.makeFile(L"tree\\link\\kept.txt");
    m_root.makeFolder(L"tree\\a\\cloud");
    m_root.makeFile(L"tree\\a\\cloud\\placeholder.txt");
    const folderListing previous = setFolderListing(markingListing);

    // The folder passed in is itself a link: nothing behind it is touched. A real link would
    // have gone with RemoveDirectoryW; this stand-in is a full folder, so it stays and counts.
    EXPECT_EQ(1, ::deleteFolderTree((tree + L"\\link").c_str()));
    EXPECT_TRUE(fileExists(kept));

    // Inside the tree: the link is not entered, the placeholder folder is emptied and removed.
    const int result = ::deleteFolderTree(tree.c_str());
    setFolderListing(previous);
    EXPECT_EQ(1, result);
    EXPECT_TRUE(fileExists(kept));
    EXPECT_FALSE(folderExists(tree + L"\\a"));
}

TEST_F(deleteFolderTree, removesARealLinkButNotItsTarget) {
    const std::wstring target = m_root.makeFolder(L"target");
    const std::wstring kept = m_root.makeFile(L"target\\kept.txt");
    m_root.makeFolder(L"tree");
    const std::wstring inner = m_root / L"tree\\link";
    const std::wstring top = m_root / L"toplink";
    for (const std::wstring& link : {inner, top})
        ::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY |
                                  SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = ::GetFileAttributesW(top.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "directory links cannot be created here (Wine, or no privilege)";

    EXPECT_EQ(0, ::deleteFolderTree(top.c_str()));
    EXPECT_EQ(0, ::deleteFolderTree((m_root / L"tree").c_str()));
    EXPECT_FALSE(folderExists(top));
    EXPECT_FALSE(folderExists(m_root / L"tree"));
    EXPECT_TRUE(fileExists(kept));
}
