#pragma once
// Typed settings for C++20 callers, over the store of readWriteSettings.h: values come back as
// std::optional, names are std::wstring_view, and writes and saves return a settingsResult that
// carries the system's error code. Nothing new is stored: each type goes through the operations
// that store it today, so what is written here reads back through the fifty operations, and the
// other way round, with the same bytes in the file and the same registry type and data.
//
//   type                          operations
//   std::wstring                  readString / writeString
//   std::uint32_t (DWORD too)     readDword / writeDword
//   std::int32_t                  readInt / writeInt
//   std::int64_t                  readInt64 / writeInt64
//   std::uint64_t                 readUInt64 / writeUInt64
//   double                        readDouble / writeDouble
//   bool                          readInt / writeInt: written as 0 or 1, any non-zero reads true
//   std::vector<std::wstring>     readStringList / writeStringList
//
// settingsStore works on a store the caller owns. settingsFile and registrySettings own theirs:
// a settings file opened by path, a registry key opened by root and path. Nothing here throws;
// a store that could not be had (no memory, a key that would not open) fails every read and
// returns the reason from every write.
#include "settings/readWriteSettingsToFile.h"
#include "settings/readWriteSettingsToRegistry.h"
#include "settings/registryKeyChain.h"
#include "support/stubString.h"
#include "support/win32Errors.h"

#include <windows.h>

#include <concepts>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Success, or the system error code that says why not.
class [[nodiscard]] settingsResult {
public:
    constexpr settingsResult() noexcept = default;
    constexpr explicit settingsResult(DWORD error) noexcept : m_error(error) {}

    constexpr explicit operator bool() const noexcept { return m_error == ERROR_SUCCESS; }
    constexpr DWORD error() const noexcept { return m_error; }
    // The system's text for the code, without its line end; empty on success and for codes the
    // system has no text for.
    std::wstring message() const noexcept {
        wchar_t* text = nullptr;
        if (m_error == ERROR_SUCCESS ||
            ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, m_error, 0, reinterpret_cast<wchar_t*>(&text), 0,
                             nullptr) == 0)
            return {};
        std::wstring message;
        try {
            message = text;
            while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
                message.pop_back();
        } catch (const std::bad_alloc&) {
            message.clear();
        }
        ::LocalFree(text);
        return message;
    }

private:
    DWORD m_error = ERROR_SUCCESS;
};

// How one type is read and written through the fifty operations. Only the types of the table
// above have one.
template <class T> struct settingsType;

template <> struct settingsType<std::wstring> {
    static int read(readWriteSettings& store, const wchar_t* name, std::wstring& value) {
        stubString text;
        if (!store.readString(name, text))
            return 0;
        value.assign(text, static_cast<std::size_t>(text.GetLength()));
        return 1;
    }
    static int write(readWriteSettings& store, const wchar_t* name, const std::wstring& value) {
        return store.writeString(nullptr, name, stubString(value.c_str()));
    }
    // Stored text ends at its first zero: text with one inside would come back cut.
    static bool storable(const std::wstring& value) {
        return value.find(L'\0') == std::wstring::npos && value.size() < 0x7FFFFFFE;
    }
};

template <class Stored, class Value, int (readWriteSettings::*Read)(const wchar_t*, Stored&),
          int (readWriteSettings::*Write)(const wchar_t*, const wchar_t*, Stored)>
struct settingsNumberType {
    static int read(readWriteSettings& store, const wchar_t* name, Value& value) {
        Stored stored{};
        if (!(store.*Read)(name, stored))
            return 0;
        value = static_cast<Value>(stored);
        return 1;
    }
    static int write(readWriteSettings& store, const wchar_t* name, const Value& value) {
        return (store.*Write)(nullptr, name, static_cast<Stored>(value));
    }
    static bool storable(const Value&) { return true; }
};

template <>
struct settingsType<std::uint32_t>
    : settingsNumberType<DWORD, std::uint32_t, &readWriteSettings::readDword,
                         &readWriteSettings::writeDword> {};
template <>
struct settingsType<DWORD> : settingsNumberType<DWORD, DWORD, &readWriteSettings::readDword,
                                                &readWriteSettings::writeDword> {};
template <>
struct settingsType<std::int32_t>
    : settingsNumberType<int, std::int32_t, &readWriteSettings::readInt,
                         &readWriteSettings::writeInt> {};
template <>
struct settingsType<std::int64_t>
    : settingsNumberType<std::int64_t, std::int64_t, &readWriteSettings::readInt64,
                         &readWriteSettings::writeInt64> {};
template <>
struct settingsType<std::uint64_t>
    : settingsNumberType<std::uint64_t, std::uint64_t, &readWriteSettings::readUInt64,
                         &readWriteSettings::writeUInt64> {};
template <>
struct settingsType<double> : settingsNumberType<double, double, &readWriteSettings::readDouble,
                                                 &readWriteSettings::writeDouble> {};

template <> struct settingsType<bool> {
    static int read(readWriteSettings& store, const wchar_t* name, bool& value) {
        int stored = 0;
        if (!store.readInt(name, stored))
            return 0;
        value = stored != 0;
        return 1;
    }
    static int write(readWriteSettings& store, const wchar_t* name, const bool& value) {
        return store.writeInt(nullptr, name, value ? 1 : 0);
    }
    static bool storable(const bool&) { return true; }
};

template <> struct settingsType<std::vector<std::wstring>> {
    // A list is there when its count is: an absent list is no empty one.
    static int read(readWriteSettings& store, const wchar_t* name,
                    std::vector<std::wstring>& value) {
        DWORD count = 0;
        std::vector<CString> list;
        if (!store.readDword((std::wstring(name) + L"_NumItems").c_str(), count) ||
            !store.readStringList(name, list))
            return 0;
        value.clear();
        value.reserve(list.size());
        for (const CString& element : list)
            value.emplace_back(element.GetString(), static_cast<std::size_t>(element.GetLength()));
        return 1;
    }
    static int write(readWriteSettings& store, const wchar_t* name,
                     const std::vector<std::wstring>& value) {
        std::vector<CString> list;
        list.reserve(value.size());
        for (const std::wstring& element : value)
            list.emplace_back(element.c_str());
        return store.writeStringList(nullptr, name, list);
    }
    static bool storable(const std::vector<std::wstring>& value) {
        if (value.size() > 0xFFFFFFFFu)
            return false;
        for (const std::wstring& element : value) {
            if (!settingsType<std::wstring>::storable(element))
                return false;
        }
        return true;
    }
    // The list's result leaves out its count's write; a failure there still shows in the last
    // error.
    static constexpr bool failureInLastError = true;
};

template <class T>
concept settingsValue = requires(readWriteSettings& store, const wchar_t* name, T& value) {
    { settingsType<T>::read(store, name, value) } -> std::same_as<int>;
    { settingsType<T>::write(store, name, value) } -> std::same_as<int>;
};

// Typed reads and writes over a store of the interface.
class settingsStore {
public:
    // The store is borrowed: it must outlive this object.
    explicit settingsStore(readWriteSettings& store) noexcept : m_store(&store) {}
    virtual ~settingsStore() = default;
    settingsStore(const settingsStore&) = delete;
    settingsStore& operator=(const settingsStore&) = delete;

    // The value, or nothing when it is missing, of another type or width, or cannot be read.
    template <settingsValue T> std::optional<T> get(std::wstring_view name) const noexcept {
        if (m_store == nullptr || !isName(name))
            return std::nullopt;
        try {
            T value{};
            if (!settingsType<T>::read(*m_store, std::wstring(name).c_str(), value))
                return std::nullopt;
            return std::optional<T>(std::move(value));
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }

    // The value, or fallback when get finds none.
    template <settingsValue T> T value(std::wstring_view name, T fallback) const noexcept {
        std::optional<T> found = get<T>(name);
        return found ? std::move(*found) : std::move(fallback);
    }
    std::wstring value(std::wstring_view name, const wchar_t* fallback) const noexcept {
        try {
            return value<std::wstring>(name, fallback != nullptr ? fallback : L"");
        } catch (const std::bad_alloc&) {
            return {};
        }
    }

    // Stores the value under the name. A name or text with a zero character inside is refused
    // with ERROR_INVALID_PARAMETER (it would be stored cut). The settings file keeps the value in
    // memory until save.
    template <settingsValue T>
    [[nodiscard]] settingsResult set(std::wstring_view name, const T& value) noexcept {
        if (m_store == nullptr)
            return settingsResult(m_unavailable);
        if (!isName(name) || !settingsType<T>::storable(value))
            return settingsResult(ERROR_INVALID_PARAMETER);
        try {
            ::SetLastError(ERROR_SUCCESS);
            const int written = settingsType<T>::write(*m_store, std::wstring(name).c_str(), value);
            const DWORD error = ::GetLastError();
            if (written != 0 && (!failureInLastError<T>() || error == ERROR_SUCCESS))
                return {};
            // The file store's value operations leave no code when they fail.
            return settingsResult(lastErrorOr(ERROR_WRITE_FAULT));
        } catch (const std::bad_alloc&) {
            return settingsResult(ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    [[nodiscard]] settingsResult set(std::wstring_view name, std::wstring_view text) noexcept {
        try {
            return set<std::wstring>(name, std::wstring(text));
        } catch (const std::bad_alloc&) {
            return settingsResult(ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    [[nodiscard]] settingsResult set(std::wstring_view name, const wchar_t* text) noexcept {
        return set(name, std::wstring_view(text != nullptr ? text : L""));
    }

    // Puts pending changes where they belong (flush): the settings file writes its file, the
    // registry has nothing to do.
    [[nodiscard]] settingsResult save() noexcept {
        if (m_store == nullptr)
            return settingsResult(m_unavailable);
        ::SetLastError(ERROR_SUCCESS);
        if (m_store->flush())
            return {};
        return settingsResult(lastErrorOr(ERROR_WRITE_FAULT));
    }

    // The fifty operations of the same store, for what the typed ones do not cover; null only
    // when the store could not be had.
    readWriteSettings* operations() const noexcept { return m_store; }

protected:
    settingsStore() noexcept = default;
    // Moves are for the owning classes: a plain settingsStore moved out of one of them would
    // be left pointing at a store its old owner still destroys.
    settingsStore(settingsStore&& other) noexcept
        : m_store(std::exchange(other.m_store, nullptr)),
          m_unavailable(std::exchange(other.m_unavailable, ERROR_INVALID_HANDLE)) {}
    settingsStore& operator=(settingsStore&& other) noexcept {
        m_store = std::exchange(other.m_store, nullptr);
        m_unavailable = std::exchange(other.m_unavailable, ERROR_INVALID_HANDLE);
        return *this;
    }
    void use(readWriteSettings* store, DWORD unavailable) noexcept {
        m_store = store;
        m_unavailable = unavailable;
    }

private:
    static bool isName(std::wstring_view name) noexcept {
        return name.find(L'\0') == std::wstring_view::npos;
    }
    template <class T> static constexpr bool failureInLastError() {
        if constexpr (requires { settingsType<T>::failureInLastError; })
            return settingsType<T>::failureInLastError;
        else
            return false;
    }

    readWriteSettings* m_store = nullptr;
    DWORD m_unavailable = ERROR_INVALID_HANDLE;
};

// A settings file opened by path: loaded, and bound to that path, so that save() and the
// destructor write to it.
class settingsFile : public settingsStore {
public:
    explicit settingsFile(std::wstring_view path) noexcept {
        if (path.empty() || path.find(L'\0') != std::wstring_view::npos) {
            fail(ERROR_INVALID_PARAMETER);
            return;
        }
        try {
            const std::wstring name(path);
            m_file.reset(new (std::nothrow) readWriteSettingsToFile);
            // The name first: set after a load that could not read the file, it would lift the
            // refusal to save over that file.
            if (!m_file || !m_file->setFileName(name.c_str())) {
                fail(ERROR_NOT_ENOUGH_MEMORY);
                return;
            }
            ::SetLastError(ERROR_SUCCESS);
            if (!m_file->load(name.c_str()))
                m_loaded = settingsResult(lastErrorOr(ERROR_READ_FAULT));
            use(m_file.get(), ERROR_SUCCESS);
        } catch (const std::bad_alloc&) {
            fail(ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    // Saves, as save() does; a failure then goes to the debugger output only. Call save() to
    // learn the result.
    ~settingsFile() override = default;
    settingsFile(settingsFile&&) noexcept = default;
    settingsFile& operator=(settingsFile&&) noexcept = default;

    // What opening found. Success, also for a damaged file (the records before the damage are
    // kept, and the next save keeps the old file as path.bak). ERROR_FILE_NOT_FOUND or
    // ERROR_PATH_NOT_FOUND: no file yet; the store starts empty and save() creates it. Any
    // other code: the file could not be read, and save() is refused with that code so that
    // what the file holds is not overwritten.
    settingsResult loadResult() const noexcept { return m_loaded; }
    // Null when the store could not be had.
    const wchar_t* path() const noexcept { return m_file ? m_file->getFileName() : nullptr; }
    // The file store itself, for its own operations (records, removeRecord, compare); null
    // when it could not be had.
    readWriteSettingsToFile* file() const noexcept { return m_file.get(); }

private:
    void fail(DWORD error) noexcept {
        m_file.reset();
        m_loaded = settingsResult(error);
        use(nullptr, error);
    }

    std::unique_ptr<readWriteSettingsToFile> m_file;
    settingsResult m_loaded;
};

enum class settingsAccess {
    read,  // the key must exist; nothing is created, writes fail with ERROR_ACCESS_DENIED
    write, // reading and writing; missing keys are created
};

// The settings of one registry key, opened (and closed) by this object.
class registrySettings : public settingsStore {
public:
    // Opens path (backslash-separated, below root) with KEY_READ, or KEY_READ | KEY_WRITE,
    // plus extraAccess (KEY_WOW64_64KEY or KEY_WOW64_32KEY, for example).
    registrySettings(HKEY root, std::wstring_view path, settingsAccess access,
                     REGSAM extraAccess = 0) noexcept {
        const bool writing = access == settingsAccess::write;
        const LSTATUS status =
            m_keys.open(root, path, (writing ? KEY_READ | KEY_WRITE : KEY_READ) | extraAccess,
                        writing ? keyChainMode::openOrCreate : keyChainMode::openExisting);
        if (status == ERROR_SUCCESS)
            m_registry.reset(new (std::nothrow) readWriteSettingsToRegistry);
        const DWORD error = status != ERROR_SUCCESS ? static_cast<DWORD>(status)
                            : m_registry            ? ERROR_SUCCESS
                                                    : ERROR_NOT_ENOUGH_MEMORY;
        if (error != ERROR_SUCCESS) {
            m_keys.close();
            m_opened = settingsResult(error);
            use(nullptr, error);
            return;
        }
        m_registry->attachKey(m_keys.last());
        use(m_registry.get(), ERROR_SUCCESS);
    }
    ~registrySettings() override = default;
    registrySettings(registrySettings&&) noexcept = default;
    registrySettings& operator=(registrySettings&&) noexcept = default;

    // ERROR_SUCCESS, or why the key could not be opened (ERROR_FILE_NOT_FOUND: a key missing
    // for reading); then every read fails and every write returns this code.
    settingsResult openResult() const noexcept { return m_opened; }
    // The open key; null when it could not be opened.
    HKEY key() const noexcept { return m_keys.last(); }
    // The registry store itself, for its own operations; null when the key is not open.
    readWriteSettingsToRegistry* registry() const noexcept { return m_registry.get(); }

private:
    // Declared first, destroyed last: the store goes before the keys it works on.
    registryKeyChain m_keys;
    std::unique_ptr<readWriteSettingsToRegistry> m_registry;
    settingsResult m_opened;
};
