#include "archive/cabinetBuilder.h"

#include "platform/systemModules.h"
#include "support/win32Errors.h"

#include <fci.h>
#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <map>
#include <vector>

namespace {

using fciCreate = decltype(&::FCICreate);
using fciAddFile = decltype(&::FCIAddFile);
using fciFlushFolder = decltype(&::FCIFlushFolder);
using fciFlushCabinet = decltype(&::FCIFlushCabinet);
using fciDestroy = decltype(&::FCIDestroy);

// FCI's code for a cabinet that would pass the format's limits; older headers lack it.
constexpr int fciFormatLimit = 9;
// Positions are 32-bit in the API.
constexpr ULONGLONG largestStream = 0x7FFFFFFF;
const char* const cabinetName = "cabinet";

// A file FCI knows by name: the cabinet (the caller's) or a working file (deleted when closed).
struct namedFile {
    std::shared_ptr<uniqueFileHandle> owned;
    HANDLE handle = INVALID_HANDLE_VALUE;
    USHORT dosDate = 0;
    USHORT dosTime = 0;
};

// One open of a named file, with its own position; it keeps a working file alive after FCI
// has deleted its name.
struct openFile {
    std::shared_ptr<uniqueFileHandle> owned;
    HANDLE handle = INVALID_HANDLE_VALUE;
    ULONGLONG position = 0;
};

template <typename function> function find(HMODULE module, const char* name) {
    return module == nullptr ? nullptr
                             : reinterpret_cast<function>(
                                   reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A fresh, empty file in folder, deleted when its handle closes.
DWORD createWorkFile(const std::wstring& folder, uniqueFileHandle& file) {
    static std::atomic<unsigned> s_counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[48];
        std::swprintf(name, sizeof(name) / sizeof(name[0]), L"logsmith-%lx-%x.tmp",
                      ::GetCurrentProcessId(), ++s_counter);
        file.reset(::CreateFileW((folder + name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                 nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (file)
            return ERROR_SUCCESS;
        if (const DWORD error = lastErrorOr(ERROR_CANNOT_MAKE); error != ERROR_FILE_EXISTS)
            return error;
    }
    return ERROR_CANNOT_MAKE;
}

OVERLAPPED at(ULONGLONG position) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(position);
    where.OffsetHigh = static_cast<DWORD>(position >> 32);
    return where;
}

struct fileTable {
    std::wstring folder;
    std::map<std::string, namedFile> files;
    std::map<const openFile*, std::unique_ptr<openFile>> opened;
    unsigned names = 0;
    // The system's code behind the first failing callback.
    DWORD error = ERROR_SUCCESS;

    int fail(DWORD code, int* err) {
        if (error == ERROR_SUCCESS)
            error = code;
        *err = static_cast<int>(code);
        return -1;
    }
};

fileTable& tableOf(void* pv) {
    return *static_cast<fileTable*>(pv);
}
openFile& fileOf(INT_PTR handle) {
    return *reinterpret_cast<openFile*>(handle);
}

FNFCIALLOC(allocateMemory) {
    return ::HeapAlloc(::GetProcessHeap(), 0, cb);
}

FNFCIFREE(freeMemory) {
    ::HeapFree(::GetProcessHeap(), 0, memory);
}

FNFCIOPEN(openNamed) {
    (void)pmode;
    fileTable& table = tableOf(pv);
    try {
        auto found = table.files.find(pszFile);
        if (found == table.files.end()) {
            if ((oflag & _O_CREAT) == 0)
                return table.fail(ERROR_FILE_NOT_FOUND, err);
            auto owned = std::make_shared<uniqueFileHandle>();
            if (const DWORD error = createWorkFile(table.folder, *owned); error != ERROR_SUCCESS)
                return table.fail(error, err);
            const HANDLE handle = owned->get();
            found = table.files.emplace(pszFile, namedFile{std::move(owned), handle}).first;
        }
        FILE_END_OF_FILE_INFO empty{};
        if ((oflag & _O_TRUNC) != 0 &&
            !::SetFileInformationByHandle(found->second.handle, FileEndOfFileInfo, &empty,
                                          sizeof(empty)))
            return table.fail(lastErrorOr(ERROR_WRITE_FAULT), err);
        auto view =
            std::make_unique<openFile>(openFile{found->second.owned, found->second.handle, 0});
        const openFile* key = view.get();
        table.opened.emplace(key, std::move(view));
        return reinterpret_cast<INT_PTR>(key);
    } catch (const std::bad_alloc&) {
        return table.fail(ERROR_NOT_ENOUGH_MEMORY, err);
    }
}

FNFCIREAD(readOpen) {
    openFile& file = fileOf(hf);
    DWORD read = 0;
    OVERLAPPED where = at(file.position);
    if (!::ReadFile(file.handle, memory, cb, &read, &where) && ::GetLastError() != ERROR_HANDLE_EOF)
        return static_cast<UINT>(tableOf(pv).fail(lastErrorOr(ERROR_READ_FAULT), err));
    file.position += read;
    return read;
}

FNFCIWRITE(writeOpen) {
    openFile& file = fileOf(hf);
    if (cb > largestStream - std::min(file.position, largestStream))
        return static_cast<UINT>(tableOf(pv).fail(ERROR_FILE_TOO_LARGE, err));
    DWORD written = 0;
    OVERLAPPED where = at(file.position);
    if (!::WriteFile(file.handle, memory, cb, &written, &where) || written != cb)
        return static_cast<UINT>(tableOf(pv).fail(lastErrorOr(ERROR_WRITE_FAULT), err));
    file.position += written;
    return written;
}

FNFCICLOSE(closeOpen) {
    (void)err;
    tableOf(pv).opened.erase(&fileOf(hf));
    return 0;
}

FNFCISEEK(seekOpen) {
    openFile& file = fileOf(hf);
    long long origin = 0;
    if (seektype == SEEK_CUR) {
        origin = static_cast<long long>(file.position);
    } else if (seektype == SEEK_END) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.handle, &size))
            return tableOf(pv).fail(lastErrorOr(ERROR_READ_FAULT), err);
        origin = size.QuadPart;
    } else if (seektype != SEEK_SET) {
        return tableOf(pv).fail(ERROR_INVALID_PARAMETER, err);
    }
    const long long target = origin + dist;
    if (target < 0 || target > static_cast<long long>(largestStream))
        return tableOf(pv).fail(ERROR_NEGATIVE_SEEK, err);
    file.position = static_cast<ULONGLONG>(target);
    return static_cast<__LONG32>(target);
}

FNFCIDELETE(deleteNamed) {
    (void)err;
    // The file goes when its last open is closed.
    tableOf(pv).files.erase(pszFile);
    return 0;
}

FNFCIGETTEMPFILE(temporaryName) {
    fileTable& table = tableOf(pv);
    return std::snprintf(pszTempName, static_cast<std::size_t>(std::max(cbTempName, 0)), "work %u",
                         table.names++) < cbTempName;
}

FNFCIFILEPLACED(filePlaced) {
    (void)pccab;
    (void)pszFile;
    (void)cbFile;
    (void)fContinuation;
    (void)pv;
    return 0;
}

// Everything goes into one cabinet: FCI asks for the next one only when this one is full.
FNFCIGETNEXTCABINET(nextCabinet) {
    (void)pccab;
    (void)cbPrevCab;
    fileTable& table = tableOf(pv);
    if (table.error == ERROR_SUCCESS)
        table.error = ERROR_FILE_TOO_LARGE;
    return FALSE;
}

FNFCISTATUS(progress) {
    (void)cb1;
    (void)pv;
    // For a finished cabinet the answer is the size it may have: the size it has.
    return typeStatus == statusCabinet ? static_cast<__LONG32>(cb2) : 0;
}

FNFCIGETOPENINFO(openSource) {
    const INT_PTR handle = openNamed(pszName, _O_RDONLY | _O_BINARY, 0, err, pv);
    if (handle != -1) {
        const namedFile& source = tableOf(pv).files.at(pszName);
        *pdate = source.dosDate;
        *ptime = source.dosTime;
        *pattribs = 0;
    }
    return handle;
}

// Local time, as cabinet tools show it; a time the format cannot hold becomes 1980-01-01.
void setDosTime(namedFile& file, const FILETIME& time) {
    FILETIME local{};
    if (!::FileTimeToLocalFileTime(&time, &local) ||
        !::FileTimeToDosDateTime(&local, &file.dosDate, &file.dosTime)) {
        file.dosDate = (1 << 5) | 1;
        file.dosTime = 0;
    }
}

} // namespace

ULONGLONG largestCabinetFor(ULONGLONG memberBytes, ULONGLONG members) {
    // A block header (8 bytes), the MSZIP signature (2) and a stored deflate block's header (5)
    // for every block, with room to spare; each member may end a block early.
    constexpr ULONGLONG perBlock = 32;
    // The cabinet's header, a folder entry per folder, a member entry with its name per member.
    constexpr ULONGLONG perMember = 16 + 256 + 8 + perBlock;
    constexpr ULONGLONG header = 64;
    const ULONGLONG blocks =
        (memberBytes + cabinetLimits::blockBytes - 1) / cabinetLimits::blockBytes;
    return header + memberBytes + blocks * perBlock + members * perMember;
}

DWORD writeAll(HANDLE file, const void* bytes, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1 << 24));
        DWORD written = 0;
        if (!::WriteFile(file, static_cast<const char*>(bytes) + done, chunk, &written, nullptr) ||
            written != chunk)
            return lastErrorOr(ERROR_WRITE_FAULT);
        done += chunk;
    }
    return ERROR_SUCCESS;
}

struct cabinetBuilder::state {
    // A reference of its own, whoever else loads and frees the module meanwhile.
    uniqueModule module{loadSystemModule(L"cabinet.dll")};
    fciCreate create = find<fciCreate>(module.get(), "FCICreate");
    fciAddFile addFile = find<fciAddFile>(module.get(), "FCIAddFile");
    fciFlushFolder flushFolder = find<fciFlushFolder>(module.get(), "FCIFlushFolder");
    fciFlushCabinet flush = find<fciFlushCabinet>(module.get(), "FCIFlushCabinet");
    fciDestroy destroy = find<fciDestroy>(module.get(), "FCIDestroy");
    fileTable table;
    ERF errors{};
    HFCI handle = nullptr;
    DWORD status = ERROR_SUCCESS;
    unsigned members = 0;
    // Bytes taken into the folder being filled, before compression.
    ULONGLONG folderBytes = 0;

    // The system's code for what FCI reported.
    DWORD failure() const {
        if (table.error != ERROR_SUCCESS)
            return table.error;
        switch (errors.erfOper) {
        case FCIERR_ALLOC_FAIL:
            return ERROR_NOT_ENOUGH_MEMORY;
        case FCIERR_BAD_COMPR_TYPE:
            return ERROR_NOT_SUPPORTED;
        case FCIERR_MCI_FAIL:
            return ERROR_INVALID_DATA;
        case fciFormatLimit:
            return ERROR_FILE_TOO_LARGE;
        default:
            return ERROR_GEN_FAILURE;
        }
    }

    DWORD fail() {
        status = failure();
        return status;
    }
};

cabinetBuilder::cabinetBuilder(HANDLE cabinet, const std::wstring& workFolder)
    : m_state(std::make_unique<state>()) {
    state& s = *m_state;
    if (!s.module) {
        s.status = lastErrorOr(ERROR_MOD_NOT_FOUND);
        return;
    }
    if (!s.create || !s.addFile || !s.flushFolder || !s.flush || !s.destroy) {
        s.status = ERROR_PROC_NOT_FOUND;
        return;
    }
    s.table.folder = workFolder;
    s.table.files[cabinetName] = namedFile{nullptr, cabinet};
    CCAB cabinetInfo{};
    cabinetInfo.cb = static_cast<ULONG>(cabinetLimits::cabinetBytes);
    cabinetInfo.cbFolderThresh = static_cast<ULONG>(cabinetLimits::folderBytes);
    std::snprintf(cabinetInfo.szCab, sizeof(cabinetInfo.szCab), "%s", cabinetName);
    s.handle =
        s.create(&s.errors, filePlaced, allocateMemory, freeMemory, openNamed, readOpen, writeOpen,
                 closeOpen, seekOpen, deleteNamed, temporaryName, &cabinetInfo, &s.table);
    if (s.handle == nullptr)
        s.fail();
}

cabinetBuilder::~cabinetBuilder() {
    // FCI deletes its working files; the table's holders delete whatever remains.
    if (m_state->handle != nullptr)
        m_state->destroy(m_state->handle);
}

DWORD cabinetBuilder::status() const {
    return m_state->status;
}

DWORD cabinetBuilder::add(const std::string& name, const FILETIME& time,
                          const std::function<DWORD(HANDLE member)>& fill) {
    state& s = *m_state;
    if (s.status != ERROR_SUCCESS)
        return s.status;
    if (name.empty() || name.size() >= CB_MAX_FILENAME || s.members >= cabinetLimits::members)
        return ERROR_INVALID_PARAMETER;
    auto owned = std::make_shared<uniqueFileHandle>();
    if (const DWORD error = createWorkFile(s.table.folder, *owned); error != ERROR_SUCCESS)
        return error;
    if (const DWORD error = fill(owned->get()); error != ERROR_SUCCESS)
        return error;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(owned->get(), &size))
        return lastErrorOr(ERROR_READ_FAULT);
    const auto bytes = static_cast<ULONGLONG>(size.QuadPart);
    if (bytes > cabinetLimits::folderBytes)
        return ERROR_FILE_TOO_LARGE;
    // A folder is closed before it would take more than its share of the blocks it may count.
    if (s.folderBytes > 0 && s.folderBytes + bytes > cabinetLimits::folderBytes) {
        if (!s.flushFolder(s.handle, nextCabinet, progress))
            return s.fail();
        s.folderBytes = 0;
    }
    char source[32];
    std::snprintf(source, sizeof(source), "member %u", s.members++);
    namedFile& entry = s.table.files[source] = namedFile{owned, owned->get()};
    setDosTime(entry, time);
    owned.reset();
    std::vector<char> stored(name.begin(), name.end());
    stored.push_back('\0');
    const BOOL added = s.addFile(s.handle, source, stored.data(), FALSE, nextCabinet, progress,
                                 openSource, tcompTYPE_MSZIP);
    // FCI has read and closed the source: its working file goes now.
    s.table.files.erase(source);
    if (!added)
        return s.fail();
    s.folderBytes += bytes;
    return ERROR_SUCCESS;
}

DWORD cabinetBuilder::add(const std::string& name, const std::string& bytes, const FILETIME& time) {
    return add(name, time,
               [&](HANDLE member) { return writeAll(member, bytes.data(), bytes.size()); });
}

DWORD cabinetBuilder::finish() {
    state& s = *m_state;
    if (s.status != ERROR_SUCCESS)
        return s.status;
    if (!s.flush(s.handle, FALSE, nextCabinet, progress))
        return s.fail();
    s.status = ERROR_INVALID_STATE;
    return ERROR_SUCCESS;
}
