#include "cli/cabinetBuilder.h"

#include "platform/optionalModule.h"

#include <fci.h>
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

using fciCreate = decltype(&::FCICreate);
using fciAddFile = decltype(&::FCIAddFile);
using fciFlushCabinet = decltype(&::FCIFlushCabinet);
using fciDestroy = decltype(&::FCIDestroy);

// Positions are 32-bit in the API; a cabinet cannot hold more.
constexpr std::size_t largestStream = 0x7FFFFFFF;
const char* const cabinetName = "cabinet";

// Every file FCI opens (sources, its temporaries, the cabinet) lives in memory.
struct memoryFile {
    std::string bytes;
    std::size_t position = 0;
    USHORT dosDate = 0;
    USHORT dosTime = 0;
    // A source's bytes are dropped once FCI has read and closed it.
    bool source = false;
};

struct fileTable {
    std::map<std::string, std::unique_ptr<memoryFile>> files;
    unsigned temporaries = 0;
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
memoryFile& fileOf(INT_PTR handle) {
    return *reinterpret_cast<memoryFile*>(handle);
}

FNFCIALLOC(allocateMemory) {
    return ::HeapAlloc(::GetProcessHeap(), 0, cb);
}

FNFCIFREE(freeMemory) {
    ::HeapFree(::GetProcessHeap(), 0, memory);
}

FNFCIOPEN(openFile) {
    (void)pmode;
    fileTable& table = tableOf(pv);
    auto found = table.files.find(pszFile);
    if (found == table.files.end()) {
        if ((oflag & _O_CREAT) == 0)
            return table.fail(ERROR_FILE_NOT_FOUND, err);
        found = table.files.emplace(pszFile, std::make_unique<memoryFile>()).first;
    }
    if ((oflag & _O_TRUNC) != 0)
        found->second->bytes.clear();
    found->second->position = 0;
    return reinterpret_cast<INT_PTR>(found->second.get());
}

FNFCIREAD(readFile) {
    (void)err;
    (void)pv;
    memoryFile& file = fileOf(hf);
    if (file.position >= file.bytes.size())
        return 0;
    const std::size_t count = std::min<std::size_t>(cb, file.bytes.size() - file.position);
    std::memcpy(memory, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<UINT>(count);
}

FNFCIWRITE(writeFile) {
    memoryFile& file = fileOf(hf);
    if (cb > largestStream - std::min(file.position, largestStream))
        return static_cast<UINT>(tableOf(pv).fail(ERROR_FILE_TOO_LARGE, err));
    try {
        if (file.bytes.size() < file.position + cb)
            file.bytes.resize(file.position + cb);
    } catch (const std::bad_alloc&) {
        return static_cast<UINT>(tableOf(pv).fail(ERROR_NOT_ENOUGH_MEMORY, err));
    }
    std::memcpy(file.bytes.data() + file.position, memory, cb);
    file.position += cb;
    return cb;
}

FNFCICLOSE(closeFile) {
    (void)err;
    (void)pv;
    memoryFile& file = fileOf(hf);
    if (file.source)
        std::string().swap(file.bytes);
    return 0;
}

FNFCISEEK(seekFile) {
    memoryFile& file = fileOf(hf);
    const long long origin = seektype == SEEK_SET   ? 0
                             : seektype == SEEK_CUR ? static_cast<long long>(file.position)
                                                    : static_cast<long long>(file.bytes.size());
    const long long target = origin + dist;
    if (seektype < SEEK_SET || seektype > SEEK_END || target < 0 ||
        target > static_cast<long long>(largestStream))
        return tableOf(pv).fail(ERROR_NEGATIVE_SEEK, err);
    file.position = static_cast<std::size_t>(target);
    return static_cast<__LONG32>(target);
}

FNFCIDELETE(deleteFile) {
    (void)err;
    tableOf(pv).files.erase(pszFile);
    return 0;
}

FNFCIGETTEMPFILE(temporaryName) {
    fileTable& table = tableOf(pv);
    return std::snprintf(pszTempName, static_cast<std::size_t>(std::max(cbTempName, 0)),
                         "temporary %u", table.temporaries++) < cbTempName;
}

FNFCIFILEPLACED(filePlaced) {
    (void)pccab;
    (void)pszFile;
    (void)cbFile;
    (void)fContinuation;
    (void)pv;
    return 0;
}

// Everything goes into one cabinet: there is no next one.
FNFCIGETNEXTCABINET(nextCabinet) {
    (void)pccab;
    (void)cbPrevCab;
    (void)pv;
    return FALSE;
}

FNFCISTATUS(progress) {
    (void)cb1;
    (void)pv;
    // For a finished cabinet the answer is the size it may have: the size it has.
    return typeStatus == statusCabinet ? static_cast<__LONG32>(cb2) : 0;
}

FNFCIGETOPENINFO(openSource) {
    const INT_PTR handle = openFile(pszName, _O_RDONLY | _O_BINARY, 0, err, pv);
    if (handle != -1) {
        *pdate = fileOf(handle).dosDate;
        *ptime = fileOf(handle).dosTime;
        *pattribs = 0;
    }
    return handle;
}

// Local time, as cabinet tools show it; a time the format cannot hold becomes 1980-01-01.
void setDosTime(memoryFile& file, const FILETIME& time) {
    FILETIME local{};
    if (!::FileTimeToLocalFileTime(&time, &local) ||
        !::FileTimeToDosDateTime(&local, &file.dosDate, &file.dosTime)) {
        file.dosDate = (1 << 5) | 1;
        file.dosTime = 0;
    }
}

} // namespace

struct cabinetBuilder::state {
    optionalModule module{L"cabinet.dll"};
    fciCreate create = module.find<fciCreate>("FCICreate");
    fciAddFile addFile = module.find<fciAddFile>("FCIAddFile");
    fciFlushCabinet flush = module.find<fciFlushCabinet>("FCIFlushCabinet");
    fciDestroy destroy = module.find<fciDestroy>("FCIDestroy");
    fileTable table;
    ERF errors{};
    HFCI handle = nullptr;
    DWORD status = ERROR_SUCCESS;
    unsigned sources = 0;

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
        default:
            return ERROR_GEN_FAILURE;
        }
    }
};

cabinetBuilder::cabinetBuilder() : m_state(std::make_unique<state>()) {
    state& s = *m_state;
    if (!s.module.isAvailable()) {
        s.status = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
        return;
    }
    if (!s.create || !s.addFile || !s.flush || !s.destroy) {
        s.status = ERROR_PROC_NOT_FOUND;
        return;
    }
    CCAB cabinet{};
    cabinet.cb = CB_MAX_DISK;
    cabinet.cbFolderThresh = CB_MAX_DISK;
    std::snprintf(cabinet.szCab, sizeof(cabinet.szCab), "%s", cabinetName);
    s.handle =
        s.create(&s.errors, filePlaced, allocateMemory, freeMemory, openFile, readFile, writeFile,
                 closeFile, seekFile, deleteFile, temporaryName, &cabinet, &s.table);
    if (s.handle == nullptr)
        s.status = s.failure();
}

cabinetBuilder::~cabinetBuilder() {
    if (m_state->handle != nullptr)
        m_state->destroy(m_state->handle);
}

DWORD cabinetBuilder::status() const {
    return m_state->status;
}

DWORD cabinetBuilder::add(const std::string& name, std::string bytes, const FILETIME& time) {
    state& s = *m_state;
    if (s.status != ERROR_SUCCESS)
        return s.status;
    if (name.empty() || name.size() >= CB_MAX_FILENAME || bytes.size() > largestStream)
        return ERROR_INVALID_PARAMETER;
    char source[32];
    std::snprintf(source, sizeof(source), "source %u", s.sources++);
    auto file = std::make_unique<memoryFile>();
    file->bytes = std::move(bytes);
    file->source = true;
    setDosTime(*file, time);
    s.table.files[source] = std::move(file);
    std::vector<char> stored(name.begin(), name.end());
    stored.push_back('\0');
    const BOOL added = s.addFile(s.handle, source, stored.data(), FALSE, nextCabinet, progress,
                                 openSource, tcompTYPE_MSZIP);
    if (!added)
        s.status = s.failure();
    return s.status;
}

DWORD cabinetBuilder::finish(std::string& image) {
    state& s = *m_state;
    if (s.status != ERROR_SUCCESS)
        return s.status;
    if (!s.flush(s.handle, FALSE, nextCabinet, progress)) {
        s.status = s.failure();
        return s.status;
    }
    const auto cabinet = s.table.files.find(cabinetName);
    if (cabinet == s.table.files.end()) {
        s.status = ERROR_GEN_FAILURE;
        return s.status;
    }
    image = std::move(cabinet->second->bytes);
    s.table.files.erase(cabinet);
    s.status = ERROR_INVALID_STATE;
    return ERROR_SUCCESS;
}
