#include "cli/cabinetCheck.h"

#include "archive/sha256.h"
#include "cli/textOutput.h"
#include "platform/systemModules.h"
#include "support/uniqueResource.h"

#include <fdi.h>
#include <fcntl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace {

using fdiCreate = decltype(&::FDICreate);
using fdiCopy = decltype(&::FDICopy);
using fdiDestroy = decltype(&::FDIDestroy);

template <typename function> function find(HMODULE module, const char* name) {
    return reinterpret_cast<function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// What FDI's handles stand for: a read of the cabinet, or a member being checked.
struct fdiFile {
    virtual ~fdiFile() = default;
};

struct check;

struct cabinetRead : fdiFile {
    explicit cabinetRead(check& owner) : owner(owner) {}
    check& owner;
    ULONGLONG position = 0;
};

struct memberRead : fdiFile {
    explicit memberRead(std::size_t index) : index(index) {}
    std::size_t index;
    ULONGLONG size = 0;
    sha256Stream hash;
};

struct check {
    HANDLE file = INVALID_HANDLE_VALUE;
    const std::vector<cabinetMember>* members = nullptr;
    std::vector<bool> seen;
    std::vector<std::unique_ptr<fdiFile>> files;
    std::wstring problem;
    // The system's code behind the first failing read.
    DWORD error = ERROR_SUCCESS;

    INT_PTR keep(std::unique_ptr<fdiFile> opened) {
        files.push_back(std::move(opened));
        return reinterpret_cast<INT_PTR>(files.back().get());
    }
    void found(const std::wstring& what) {
        if (problem.empty())
            problem = what;
    }
};

// FDI opens a cabinet by name only: the names of the cabinets being checked, and their checks.
std::mutex g_namesLock;
std::map<std::string, check*> g_names;

class registeredName {
public:
    explicit registeredName(check& owner) {
        static unsigned s_counter = 0;
        const std::lock_guard<std::mutex> lock(g_namesLock);
        char name[48];
        std::snprintf(name, sizeof(name), "cabinet being checked %u", ++s_counter);
        m_name = name;
        g_names[m_name] = &owner;
    }
    ~registeredName() {
        const std::lock_guard<std::mutex> lock(g_namesLock);
        g_names.erase(m_name);
    }
    registeredName(const registeredName&) = delete;
    registeredName& operator=(const registeredName&) = delete;

    char* name() { return m_name.data(); }

private:
    std::string m_name;
};

fdiFile* fileOf(INT_PTR handle) {
    return reinterpret_cast<fdiFile*>(handle);
}

FNALLOC(allocateMemory) {
    return ::HeapAlloc(::GetProcessHeap(), 0, cb);
}

FNFREE(freeMemory) {
    ::HeapFree(::GetProcessHeap(), 0, pv);
}

FNOPEN(openCabinet) {
    (void)pmode;
    if ((oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0)
        return -1;
    const std::lock_guard<std::mutex> lock(g_namesLock);
    const auto found = g_names.find(pszFile);
    if (found == g_names.end())
        return -1;
    try {
        return found->second->keep(std::make_unique<cabinetRead>(*found->second));
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

FNREAD(readCabinet) {
    auto* read = dynamic_cast<cabinetRead*>(fileOf(hf));
    if (read == nullptr)
        return static_cast<UINT>(-1);
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(read->position);
    where.OffsetHigh = static_cast<DWORD>(read->position >> 32);
    DWORD done = 0;
    if (!::ReadFile(read->owner.file, pv, cb, &done, &where) &&
        ::GetLastError() != ERROR_HANDLE_EOF) {
        if (read->owner.error == ERROR_SUCCESS)
            read->owner.error = ::GetLastError();
        return static_cast<UINT>(-1);
    }
    read->position += done;
    return done;
}

// What FDI decompresses is hashed, never stored.
FNWRITE(writeMember) {
    auto* member = dynamic_cast<memberRead*>(fileOf(hf));
    if (member == nullptr || member->hash.add(pv, cb) != ERROR_SUCCESS)
        return static_cast<UINT>(-1);
    member->size += cb;
    return cb;
}

// Every handle lives as long as the check.
FNCLOSE(closeFile) {
    (void)hf;
    return 0;
}

FNSEEK(seekCabinet) {
    auto* read = dynamic_cast<cabinetRead*>(fileOf(hf));
    if (read == nullptr)
        return -1;
    long long origin = 0;
    if (seektype == SEEK_CUR) {
        origin = static_cast<long long>(read->position);
    } else if (seektype == SEEK_END) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(read->owner.file, &size))
            return -1;
        origin = size.QuadPart;
    } else if (seektype != SEEK_SET) {
        return -1;
    }
    const long long target = origin + dist;
    if (target < 0 || target > 0x7FFFFFFF)
        return -1;
    read->position = static_cast<ULONGLONG>(target);
    return static_cast<__LONG32>(target);
}

std::wstring quotedName(const char* name) {
    return L"\"" + printable(fromUtf8(name != nullptr ? name : "")) + L"\"";
}

INT_PTR startMember(check& owner, const FDINOTIFICATION& note) {
    const std::vector<cabinetMember>& members = *owner.members;
    for (std::size_t index = 0; index < members.size(); ++index) {
        if (members[index].name != note.psz1)
            continue;
        if (owner.seen[index]) {
            owner.found(quotedName(note.psz1) + L" is in it twice");
            return -1;
        }
        try {
            auto member = std::make_unique<memberRead>(index);
            if (member->hash.status() != ERROR_SUCCESS) {
                owner.error = member->hash.status();
                return -1;
            }
            return owner.keep(std::move(member));
        } catch (const std::bad_alloc&) {
            owner.error = ERROR_NOT_ENOUGH_MEMORY;
            return -1;
        }
    }
    owner.found(quotedName(note.psz1) + L" is in it but was never added");
    return -1;
}

INT_PTR endMember(check& owner, const FDINOTIFICATION& note) {
    auto* member = dynamic_cast<memberRead*>(fileOf(note.hf));
    if (member == nullptr)
        return FALSE;
    const cabinetMember& expected = (*owner.members)[member->index];
    std::string digest;
    if (const DWORD error = member->hash.finish(digest); error != ERROR_SUCCESS) {
        owner.error = error;
        return FALSE;
    }
    const std::wstring name = quotedName(expected.name.c_str());
    if (member->size != expected.size) {
        owner.found(name + L" holds " + std::to_wstring(member->size) + L" bytes, not " +
                    std::to_wstring(expected.size));
        return FALSE;
    }
    if (digest != expected.sha256) {
        owner.found(name + L" does not hold the bytes that were added (SHA-256 " +
                    fromUtf8(digest) + L")");
        return FALSE;
    }
    owner.seen[member->index] = true;
    return TRUE;
}

FNFDINOTIFY(notified) {
    check& owner = *static_cast<check*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE:
        return startMember(owner, *pfdin);
    case fdintCLOSE_FILE_INFO:
        return endMember(owner, *pfdin);
    case fdintPARTIAL_FILE:
    case fdintNEXT_CABINET:
        owner.found(L"it continues in another cabinet");
        return -1;
    default:
        return 0;
    }
}

const wchar_t* fdiErrorText(int code) {
    switch (code) {
    case FDIERROR_NOT_A_CABINET:
        return L"it is not a cabinet";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
        return L"its cabinet version is unknown";
    case FDIERROR_CORRUPT_CABINET:
        return L"it is damaged";
    case FDIERROR_MDI_FAIL:
        return L"its compressed data is damaged";
    case FDIERROR_RESERVE_MISMATCH:
    case FDIERROR_WRONG_CABINET:
        return L"its headers do not agree";
    default:
        return L"the system's decompressor cannot read it";
    }
}

} // namespace

DWORD checkCabinet(HANDLE file, const std::vector<cabinetMember>& members, std::wstring& problem) {
    const uniqueModule module(loadSystemModule(L"cabinet.dll"));
    if (!module)
        return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
    const auto create = find<fdiCreate>(module.get(), "FDICreate");
    const auto copy = find<fdiCopy>(module.get(), "FDICopy");
    const auto destroy = find<fdiDestroy>(module.get(), "FDIDestroy");
    if (!create || !copy || !destroy)
        return ERROR_PROC_NOT_FOUND;
    check owner;
    owner.file = file;
    owner.members = &members;
    owner.seen.assign(members.size(), false);
    ERF errors{};
    const HFDI context = create(allocateMemory, freeMemory, openCabinet, readCabinet, writeMember,
                                closeFile, seekCabinet, cpuUNKNOWN, &errors);
    if (context == nullptr)
        return errors.erfOper == FDIERROR_ALLOC_FAIL ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE;
    registeredName name(owner);
    char path[] = "";
    const BOOL copied = copy(context, name.name(), path, 0, notified, nullptr, &owner);
    destroy(context);
    if (owner.error != ERROR_SUCCESS)
        return owner.error;
    if (!copied && owner.problem.empty())
        owner.found(fdiErrorText(errors.erfOper) + std::wstring(L" (FDI error ") +
                    std::to_wstring(errors.erfOper) + L")");
    for (std::size_t index = 0; index < members.size() && owner.problem.empty(); ++index)
        if (!owner.seen[index])
            owner.found(quotedName(members[index].name.c_str()) + L" is missing");
    if (owner.problem.empty())
        return ERROR_SUCCESS;
    problem = owner.problem;
    return ERROR_INVALID_DATA;
}
