#include "settings/fileBuffer.h"
#include "settings/readWriteSettingsToFile.h"

#include "support/tarnHeapTesting.h"

#include "tests/settings/allocationWatch.h"
#include "tests/settings/saveLoop/crashStores.h"
#include "tests/settings/settingsFileTesting.h"
#include "tests/testing/childProcess.h"
#include "tests/testing/tempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <thread>
#include <string>

namespace {

std::set<std::wstring> temporaries(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(entry.cFileName);
    while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

bool anyTemporary(const std::wstring& folder) {
    return !temporaries(folder).empty();
}

// The file calls of save; the step under test fails with its own code.
enum class step { none, create, write, shortWrite, flush, close };
step g_failing = step::none;
int g_replaceCalls = 0;

bool failsHere(step here, DWORD error) {
    if (g_failing != here)
        return false;
    ::SetLastError(error);
    return true;
}

HANDLE WINAPI failingCreate(const wchar_t* name, DWORD access, DWORD share,
                            SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD attributes,
                            HANDLE templateFile) {
    return failsHere(step::create, ERROR_DISK_FULL)
               ? INVALID_HANDLE_VALUE
               : ::CreateFileW(name, access, share, security, disposition, attributes,
                               templateFile);
}
BOOL WINAPI failingWrite(HANDLE file, const void* data, DWORD bytes, DWORD* written,
                         OVERLAPPED* overlapped) {
    if (g_failing != step::write && g_failing != step::shortWrite)
        return ::WriteFile(file, data, bytes, written, overlapped);
    ::WriteFile(file, data, bytes / 2, written, overlapped); // half reaches the disk
    return !failsHere(step::write, ERROR_HANDLE_DISK_FULL);
}
BOOL WINAPI failingFlush(HANDLE file) {
    return !failsHere(step::flush, ERROR_IO_DEVICE) && ::FlushFileBuffers(file);
}
BOOL WINAPI failingClose(HANDLE file) {
    ::CloseHandle(file);
    return !failsHere(step::close, ERROR_NETNAME_DELETED);
}
BOOL WINAPI failingReplace(const wchar_t* from, const wchar_t* to, DWORD flags) {
    ++g_replaceCalls;
    return ::MoveFileExW(from, to, flags);
}

LPVOID WINAPI refuseAllocation(HANDLE, DWORD, SIZE_T) {
    return nullptr;
}
LPVOID WINAPI refuseGrowth(HANDLE, DWORD, LPVOID, SIZE_T) {
    return nullptr;
}

// The save-loop helper, started beside the test program.
PROCESS_INFORMATION startHelper(const std::wstring& arguments) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"settingsSaveLoop.exe";
    const std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    if (!startChildProcess(program.c_str(), command, FALSE, CREATE_NO_WINDOW, startup, child))
        ADD_FAILURE() << "helper not started: " << ::GetLastError();
    return child;
}

DWORD waitForHelper(PROCESS_INFORMATION& child) {
    DWORD code = 0;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.hProcess, 300000));
    ::GetExitCodeProcess(child.hProcess, &code);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return code;
}

// Another program's exclusive hold on a file, for as long as the object lives.
class exclusiveHold {
public:
    explicit exclusiveHold(const std::wstring& path)
        : m_file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(INVALID_HANDLE_VALUE, m_file);
    }
    ~exclusiveHold() { release(); }
    void release() {
        if (m_file != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_file;
};

std::string tenRecords() {
    std::vector<recordModel> records;
    for (std::uint32_t i = 0; i < 10; ++i)
        records.push_back({L"base_" + std::to_wstring(i), 4, littleEndian32(i)});
    return encodeImage(records);
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
        {step::close, 1, 0, 1}, // after the rename: the image is already in place
    };
    readWriteSettingsToFile store;
    fillCrashStore(store, 1);
    const std::string image = storeImage(store);
    const settingsFileCalls previous = setSettingsFileCalls(
        {failingCreate, failingWrite, failingFlush, failingClose, failingReplace});
    for (const auto& r : rows) {
        writeWholeFile(path(), old);
        g_failing = r.failing;
        g_replaceCalls = 0;
        const int result = store.save(path().c_str());
        const DWORD error = ::GetLastError();
        const int row = static_cast<int>(r.failing);
        EXPECT_EQ(r.result, result) << row;
        if (r.result == 0) {
            EXPECT_EQ(r.error, error) << row;
        }
        EXPECT_EQ(r.replaceCalls, g_replaceCalls) << row;
        EXPECT_EQ(r.result != 0 ? image : old, readWholeFile(path())) << row;
        EXPECT_FALSE(anyTemporary(folder.path())) << row;
    }
    setSettingsFileCalls(previous);
    g_failing = step::none;
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
                // Not knowing what the file holds, the store refuses to save over it.
                EXPECT_EQ(0, store.save(file.c_str())) << n;
                EXPECT_EQ(image, readWholeFile(file)) << n;
                ASSERT_EQ(1, store.load(file.c_str())) << n;
            } else {
                EXPECT_EQ(0, store.compare(expected)) << n;
            }
            ASSERT_EQ(1, loadImage(store, old));
            watch.failAllocation(n);
            const int saved = store.save(file.c_str());
            const bool saveFailed = !watch.failurePending();
            watch.failAllocation(0);
            // The clean-up of earlier temporaries may absorb the failure; the result still
            // tells what the file holds.
            EXPECT_TRUE(saveFailed || saved == 1) << n;
            EXPECT_EQ(saved == 0 ? image : old, readWholeFile(file)) << n;
            EXPECT_FALSE(anyTemporary(folder.path())) << n;
            failures += saved == 0 ? 1 : 0;
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
    readWriteSettingsToFile stores[2];
    fillCrashStore(stores[0], 0);
    fillCrashStore(stores[1], 1);
    const std::wstring eventName =
        L"Local\\settingsSaveLoop-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(nullptr, started);

    std::mt19937 random(4711);
    int leftTemporaries = 0;
    for (int kill = 0; kill < 50; ++kill) {
        ::ResetEvent(started);
        const std::set<std::wstring> before = temporaries(folder.path());
        PROCESS_INFORMATION child = startHelper(L"\"" + path() + L"\" " + eventName);
        ASSERT_NE(nullptr, child.hProcess);
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started, 20000)) << kill;
        ::Sleep(random() % 40);
        ::TerminateProcess(child.hProcess, 9);
        waitForHelper(child);
        for (const std::wstring& name : temporaries(folder.path()))
            leftTemporaries += before.count(name) == 0 ? 1 : 0;

        readWriteSettingsToFile loaded;
        fileBuffer buffer;
        ASSERT_EQ(1, buffer.readFile(path().c_str(), nullptr)) << kill;
        bool complete = false;
        ASSERT_EQ(1, loaded.loadFromBuffer(buffer, &complete)) << kill;
        EXPECT_TRUE(complete) << kill;
        EXPECT_TRUE(loaded.compare(stores[0]) == 0 || loaded.compare(stores[1]) == 0) << kill;
    }
    ::CloseHandle(started);
    std::cout << "kills that left a temporary: " << leftTemporaries << " of 50\n";
    // Whatever a kill left, the next save clears it.
    ASSERT_EQ(1, stores[0].save(path().c_str()));
    EXPECT_FALSE(anyTemporary(folder.path()));
}

TEST_F(settingsFileSafety, aSaveRemovesTemporariesOfKilledSavesButNoneInUse) {
    const std::wstring killed = path() + L".1a2b-3.tmp", inUse = path() + L".4c-5.tmp",
                       unrelated = path() + L".notes.tmp", otherFile = path() + L"x.6-7.tmp";
    for (const std::wstring& name : {killed, inUse, unrelated, otherFile})
        writeWholeFile(name, "partial image");
    exclusiveHold writer(inUse); // a live save still writing it
    readWriteSettingsToFile store;
    ASSERT_EQ(1, store.writeDword(nullptr, L"a", 1));
    ASSERT_EQ(1, store.save(path().c_str()));
    EXPECT_FALSE(pathExists(killed));
    EXPECT_TRUE(pathExists(inUse) && pathExists(unrelated) && pathExists(otherFile));
}

TEST_F(settingsFileSafety, aFileThatCouldNotBeReadIsNeverSavedOver) {
    const std::string original = tenRecords();
    writeWholeFile(path(), original);
    for (int round = 0; round < 2; ++round) {
        exclusiveHold other(path());
        readWriteSettingsToFile store;
        ASSERT_EQ(1, store.setFileName(path().c_str()));
        EXPECT_EQ(0, store.load(path().c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
        ASSERT_EQ(1, store.writeDword(nullptr, L"changed", 1));
        other.release();
        EXPECT_EQ(0, store.flush()) << round;
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    } // the destructor's save is refused too
    EXPECT_EQ(original, readWholeFile(path()));
    EXPECT_FALSE(pathExists(path() + L".bak"));

    // The refusal ends with a successful load or a deliberate new name.
    const struct {
        const char* lift;
        std::function<void(readWriteSettingsToFile&, const std::wstring&)> act;
        int saved;
    } rows[] = {
        {"nothing", [](auto&, auto&) {}, 0},
        {"set the name again", [](auto& s, auto& p) { s.setFileName(p.c_str()); }, 1},
        {"load it", [](auto& s, auto& p) { s.load(p.c_str()); }, 1},
    };
    for (const auto& r : rows) {
        writeWholeFile(path(), original);
        readWriteSettingsToFile store;
        {
            exclusiveHold other(path());
            EXPECT_EQ(0, store.load(path().c_str()));
        }
        r.act(store, path());
        ASSERT_EQ(1, store.writeDword(nullptr, L"changed", 1));
        EXPECT_EQ(r.saved, store.save(path().c_str())) << r.lift;
        EXPECT_EQ(1, store.save((folder / L"elsewhere.bin").c_str())) << r.lift;
    }
}

TEST_F(settingsFileSafety, aLoadWaitsOutABriefHoldByAnotherProcess) {
    writeWholeFile(path(), tenRecords());
    exclusiveHold other(path());
    std::thread releaser([&] {
        ::Sleep(200);
        other.release();
    });
    readWriteSettingsToFile store;
    EXPECT_EQ(1, store.load(path().c_str()));
    releaser.join();
    EXPECT_EQ(10u, store.getRecordCount());
}

TEST_F(settingsFileSafety, twoProcessesRacingLoadChangeSaveKeepEveryRecordOfTheFile) {
    readWriteSettingsToFile before;
    ASSERT_EQ(1, loadImage(before, tenRecords()));
    writeWholeFile(path(), tenRecords());
    const std::wstring file = L"\"" + path() + L"\" 300 ";
    PROCESS_INFORMATION racers[] = {startHelper(L"race " + file + L"first"),
                                    startHelper(L"race " + file + L"second")};
    int failedLoads = 0;
    for (PROCESS_INFORMATION& racer : racers)
        failedLoads += static_cast<int>(waitForHelper(racer));
    std::cout << "failed loads in 600 racing rounds: " << failedLoads << "\n";
    readWriteSettingsToFile after;
    ASSERT_EQ(1, after.load(path().c_str()));
    for (int i = 0; i < 10; ++i) {
        const std::wstring name = L"base_" + std::to_wstring(i);
        DWORD value = 99;
        EXPECT_TRUE(after.readDword(name.c_str(), value) && value == static_cast<DWORD>(i)) << i;
    }
}
