#include "settings/fileBuffer.h"
#include "settings/readWriteSettingsToFile.h"

#include "support/tarnHeapTesting.h"

#include "tests/settings/allocationWatch.h"
#include "tests/settings/saveLoop/crashStores.h"
#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> folderNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

// The file calls of save, each able to fail once with its own code.
enum class step { none, create, write, shortWrite, flush, close, replace, replaceBusy };
struct failingFileCalls {
    static inline step failing = step::none;
    static inline int replaceCalls = 0;

    static HANDLE WINAPI create(const wchar_t* name, DWORD access, DWORD share,
                                SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD attributes,
                                HANDLE templateFile) {
        if (failing == step::create) {
            ::SetLastError(ERROR_DISK_FULL);
            return INVALID_HANDLE_VALUE;
        }
        return ::CreateFileW(name, access, share, security, disposition, attributes, templateFile);
    }
    static BOOL WINAPI write(HANDLE file, const void* data, DWORD bytes, DWORD* written,
                             OVERLAPPED* overlapped) {
        if (failing == step::write || failing == step::shortWrite) {
            // Half the bytes reach the disk before it is full.
            ::WriteFile(file, data, bytes / 2, written, overlapped);
            if (failing == step::shortWrite)
                return TRUE;
            ::SetLastError(ERROR_HANDLE_DISK_FULL);
            return FALSE;
        }
        return ::WriteFile(file, data, bytes, written, overlapped);
    }
    static BOOL WINAPI flush(HANDLE file) {
        if (failing == step::flush) {
            ::SetLastError(ERROR_IO_DEVICE);
            return FALSE;
        }
        return ::FlushFileBuffers(file);
    }
    static BOOL WINAPI close(HANDLE file) {
        ::CloseHandle(file);
        if (failing == step::close) {
            ::SetLastError(ERROR_NETNAME_DELETED);
            return FALSE;
        }
        return TRUE;
    }
    static BOOL WINAPI replace(const wchar_t* from, const wchar_t* to, DWORD flags) {
        ++replaceCalls;
        if (failing == step::replace) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (failing == step::replaceBusy && replaceCalls < 3) {
            ::SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        return ::MoveFileExW(from, to, flags);
    }
};

LPVOID WINAPI refuseAllocation(HANDLE, DWORD, SIZE_T) {
    return nullptr;
}
LPVOID WINAPI refuseGrowth(HANDLE, DWORD, LPVOID, SIZE_T) {
    return nullptr;
}

bool anyTemporary(const std::wstring& folder) {
    for (const std::wstring& name : folderNames(folder))
        if (name.size() > 4 && name.substr(name.size() - 4) == L".tmp")
            return true;
    return false;
}

class settingsFileSafety : public ::testing::Test {
protected:
    std::wstring path() const { return folder / L"settings.bin"; }
    tempFolder folder;
};

} // namespace

TEST_F(settingsFileSafety, aSaveThatFailsAtAnyStepLeavesTheOldFileAndNoTemporary) {
    const std::string old = encodeImage({{L"old", 4, littleEndian32(1)}});
    const struct {
        step failing;
        int result;
        DWORD error;
        int replaceCalls;
    } rows[] = {
        {step::create, 0, ERROR_DISK_FULL, 0},
        {step::write, 0, ERROR_HANDLE_DISK_FULL, 0},
        {step::shortWrite, 0, ERROR_WRITE_FAULT, 0},
        {step::flush, 0, ERROR_IO_DEVICE, 0},
        {step::close, 0, ERROR_NETNAME_DELETED, 0},
        {step::replace, 0, ERROR_ACCESS_DENIED, 10}, // retried for a while, then given up
        {step::replaceBusy, 1, 0, 3},                // a scanner let go in time
    };
    readWriteSettingsToFile store;
    fillCrashStore(store, 1);
    const std::string image = storeImage(store);
    const settingsFileCalls previous = setSettingsFileCalls(
        {failingFileCalls::create, failingFileCalls::write, failingFileCalls::flush,
         failingFileCalls::close, failingFileCalls::replace});
    for (const auto& r : rows) {
        writeWholeFile(path(), old);
        failingFileCalls::failing = r.failing;
        failingFileCalls::replaceCalls = 0;
        const int result = store.save(path().c_str());
        const DWORD error = ::GetLastError();
        const int row = static_cast<int>(r.failing);
        EXPECT_EQ(r.result, result) << row;
        if (r.result == 0) {
            EXPECT_EQ(r.error, error) << row;
        }
        EXPECT_EQ(r.replaceCalls, failingFileCalls::replaceCalls) << row;
        EXPECT_EQ(r.result != 0 ? image : old, readWholeFile(path())) << row;
        EXPECT_EQ(std::vector<std::wstring>{L"settings.bin"}, folderNames(folder.path())) << row;
    }
    setSettingsFileCalls(previous);
}

TEST_F(settingsFileSafety, runningOutOfMemoryAnywhereInLoadOrSaveFailsCleanly) {
    const std::string old = encodeImage({{L"a", 4, littleEndian32(1)}});
    readWriteSettingsToFile expected;
    for (int i = 0; i < 6; ++i)
        expected.writeCString(nullptr, (L"name of some length " + std::to_wstring(i)).c_str(),
                              CString(L"a text of some length"));
    const std::string image = storeImage(expected);
    const std::wstring file = path(); // made here: the watch fails the test's own allocations too

    int failures = 0;
    for (unsigned n = 1;; ++n) {
        writeWholeFile(file, image);
        allocationWatch watch;
        {
            readWriteSettingsToFile store;
            watch.failAllocation(n);
            const int loaded = store.load(file.c_str());
            const bool loadFailed = !watch.failurePending();
            watch.failAllocation(0);
            if (loadFailed) {
                EXPECT_EQ(0, loaded) << n;
                EXPECT_EQ(0u, store.getRecordCount()) << n;
            } else {
                EXPECT_EQ(0, store.compare(expected)) << n;
            }
            ASSERT_EQ(1, loadImage(store, old));
            watch.failAllocation(n);
            const int saved = store.save(file.c_str());
            const bool saveFailed = !watch.failurePending();
            watch.failAllocation(0);
            EXPECT_EQ(saveFailed ? 0 : 1, saved) << n;
            EXPECT_EQ(saveFailed ? image : old, readWholeFile(file)) << n;
            EXPECT_FALSE(anyTemporary(folder.path())) << n;
            failures += saveFailed ? 1 : 0;
            if (!loadFailed && !saveFailed)
                break;
        }
        EXPECT_EQ(0, watch.liveBytes()) << n;
        ASSERT_LT(n, 1000u);
    }
    EXPECT_GT(failures, 0);
}

TEST_F(settingsFileSafety, theSupportHeapRunningOutDuringLoadLeavesNoBlockBehind) {
    readWriteSettingsToFile expected;
    for (int i = 0; i < 4; ++i)
        expected.writeInt(nullptr, (L"n" + std::to_wstring(i)).c_str(), i);
    writeWholeFile(path(), storeImage(expected));
    const std::wstring file = path();
    unsigned n = 1;
    for (;; ++n) {
        tarnHeapSeam seam;
        bool failed = false;
        {
            readWriteSettingsToFile store;
            seam.failAllocation(n);
            const int loaded = store.load(file.c_str());
            failed = !seam.failurePending();
            seam.failAllocation(0);
            EXPECT_EQ(failed ? 0 : 1, loaded) << n;
            EXPECT_EQ(failed ? 0 : 4u, store.getRecordCount()) << n;
        }
        EXPECT_EQ(0, seam.liveBlocks()) << n;
        if (!failed)
            break;
        ASSERT_LT(n, 100u);
    }
    EXPECT_EQ(13u, n); // each record takes three blocks: itself, its name and its value
}

TEST_F(settingsFileSafety, theFileBuffersHeapRunningOutFailsLoadAndSave) {
    const std::string old = encodeImage({{L"a", 4, littleEndian32(1)}});
    writeWholeFile(path(), old);
    readWriteSettingsToFile store;
    ASSERT_EQ(1, store.writeDword(nullptr, L"new", 2));
    const fileBufferHeapCalls previous =
        setFileBufferHeapCalls({nullptr, refuseAllocation, refuseGrowth, nullptr, nullptr});
    EXPECT_EQ(0, store.save(path().c_str()));
    EXPECT_EQ(1u, store.getRecordCount());
    EXPECT_EQ(0, store.load(path().c_str()));
    EXPECT_EQ(0u, store.getRecordCount());
    setFileBufferHeapCalls(previous);
    EXPECT_EQ(old, readWholeFile(path()));
}

TEST_F(settingsFileSafety, aSaveKilledAtAnyMomentLeavesOneWholeStoreOrTheOther) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"settingsSaveLoop.exe";
    readWriteSettingsToFile stores[2];
    fillCrashStore(stores[0], 0);
    fillCrashStore(stores[1], 1);
    const std::wstring eventName =
        L"Local\\settingsSaveLoop-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(nullptr, started);

    std::mt19937 random(4711);
    int seen[2] = {0, 0};
    for (int kill = 0; kill < 50; ++kill) {
        ::ResetEvent(started);
        std::wstring command = L"\"" + program + L"\" \"" + path() + L"\" " + eventName;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                                     CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child))
            << ::GetLastError();
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started, 20000)) << kill;
        ::Sleep(random() % 40);
        ::TerminateProcess(child.hProcess, 9);
        ::WaitForSingleObject(child.hProcess, INFINITE);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);

        readWriteSettingsToFile loaded;
        fileBuffer buffer;
        ASSERT_EQ(1, buffer.readFile(path().c_str(), nullptr)) << kill;
        bool complete = false;
        ASSERT_EQ(1, loaded.loadFromBuffer(buffer, &complete)) << kill;
        EXPECT_TRUE(complete) << kill;
        const bool first = loaded.compare(stores[0]) == 0;
        EXPECT_TRUE(first || loaded.compare(stores[1]) == 0) << kill;
        ++seen[first ? 0 : 1];
    }
    ::CloseHandle(started);
    RecordProperty("firstStore", seen[0]);
    RecordProperty("secondStore", seen[1]);
}
