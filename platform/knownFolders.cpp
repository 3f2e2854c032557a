#include "platform/knownFolders.h"

#include "platform/optionalModule.h"

#include <shlobj.h>
#include <cstdio>
#include <cstdlib>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

folderPathLookup s_lookup = &getFolderPath;
folderPathLookupA s_lookupA = &getFolderPathA;

// Character-type twins of the calls the path builders make.
template <typename charT> struct textCalls;

template <> struct textCalls<wchar_t> {
    static constexpr const wchar_t* maker = L"Tarnwick";
    static HRESULT lookup(int folder, wchar_t* path) {
        return s_lookup(nullptr, folder, nullptr, 0, path);
    }
    static HRESULT append(wchar_t* text, std::size_t capacity, const wchar_t* part) {
        return ::StringCchCatW(text, capacity, part);
    }
    static HRESULT length(const wchar_t* text, std::size_t capacity, std::size_t* result) {
        return ::StringCchLengthW(text, capacity, result);
    }
    static void createFolder(const wchar_t* path) { ::CreateDirectoryW(path, nullptr); }
};

template <> struct textCalls<char> {
    static constexpr const char* maker = "Tarnwick";
    static HRESULT lookup(int folder, char* path) {
        return s_lookupA(nullptr, folder, nullptr, 0, path);
    }
    static HRESULT append(char* text, std::size_t capacity, const char* part) {
        return ::StringCchCatA(text, capacity, part);
    }
    static HRESULT length(const char* text, std::size_t capacity, std::size_t* result) {
        return ::StringCchLengthA(text, capacity, result);
    }
    static void createFolder(const char* path) { ::CreateDirectoryA(path, nullptr); }
};

template <typename charT> using pathBuffer = charT[knownFolderPathCapacity];

template <typename charT> bool appendPart(pathBuffer<charT>& buffer, const charT* part) {
    return SUCCEEDED(textCalls<charT>::append(buffer, knownFolderPathCapacity, part));
}

template <typename charT> void ensureTrailingBackslashOf(charT* text, std::size_t capacity) {
    std::size_t length = 0;
    if (text == nullptr || capacity == 0 ||
        FAILED(textCalls<charT>::length(text, capacity, &length)) || length == 0)
        return;
    if (text[length - 1] == charT('\\') || length + 1 >= capacity)
        return;
    text[length] = charT('\\');
    text[length + 1] = charT('\0');
}

// A backslash that really is there: a full buffer gets none from ensureTrailingBackslash.
template <typename charT> bool appendBackslash(pathBuffer<charT>& buffer) {
    ensureTrailingBackslashOf(buffer, knownFolderPathCapacity);
    std::size_t length = 0;
    return SUCCEEDED(textCalls<charT>::length(buffer, knownFolderPathCapacity, &length)) &&
           length > 0 && buffer[length - 1] == charT('\\');
}

template <typename charT> bool fail(pathBuffer<charT>& buffer) {
    buffer[0] = charT('\0');
    return false;
}

// (application data)\Tarnwick\[prefix ][name], creating the maker's folder and the product
// folder unless create is false. A path that does not fit is not cut (a cut path names another
// folder): the buffer is emptied and nothing more is created.
template <typename charT>
bool buildProductFolder(pathBuffer<charT>& buffer, const charT* prefix, const charT* name,
                        bool create = true, const charT* appData = nullptr) {
    using calls = textCalls<charT>;
    buffer[0] = charT('\0');
    if (appData == nullptr)
        calls::lookup(CSIDL_APPDATA, buffer);
    else if (!appendPart(buffer, appData))
        return fail(buffer);
    buffer[knownFolderPathCapacity - 1] = charT('\0');
    if (buffer[0] == charT('\0'))
        return false;

    const charT backslash[] = {charT('\\'), charT('\0')};
    const charT blank[] = {charT(' '), charT('\0')};
    if (!appendPart(buffer, backslash) || !appendPart(buffer, calls::maker))
        return fail(buffer);
    if (create)
        calls::createFolder(buffer);

    if (!appendBackslash(buffer))
        return fail(buffer);
    if (prefix != nullptr && prefix[0] != charT('\0') &&
        (!appendPart(buffer, prefix) || !appendPart(buffer, blank)))
        return fail(buffer);
    if (name != nullptr && !appendPart(buffer, name))
        return fail(buffer);
    if (create)
        calls::createFolder(buffer);
    return true;
}

template <typename charT>
const charT* buildProductFilePath(pathBuffer<charT>& buffer, const charT* prefix, const charT* name,
                                  const charT* fileName) {
    if (buildProductFolder(buffer, prefix, name) && fileName != nullptr &&
        !(appendBackslash(buffer) && appendPart(buffer, fileName)))
        fail(buffer);
    return buffer;
}

const wchar_t* cachedProductFilePath(pathBuffer<wchar_t>& cache, const wchar_t* prefix,
                                     const wchar_t* name, const wchar_t* fileName) {
    if (cache[0] == L'\0')
        ::StringCchCopyNW(cache, knownFolderPathCapacity,
                          getProductFilePath(prefix, name, fileName), knownFolderPathCapacity - 1);
    return cache;
}

template <typename function>
HRESULT callShellFolderFunction(const char* functionName, auto&&... arguments) {
    const optionalModule shell(L"Shell32.dll");
    const auto call = shell.find<function>(functionName);
    return call != nullptr ? call(arguments...) : 0;
}

} // namespace

HRESULT getFolderPath(HWND owner, int folder, HANDLE token, DWORD flags, wchar_t* path) {
    if (path == nullptr)
        return E_POINTER;
    return callShellFolderFunction<decltype(&::SHGetFolderPathW)>("SHGetFolderPathW", owner, folder,
                                                                  token, flags, path);
}

HRESULT getFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, char* path) {
    if (path == nullptr)
        return E_POINTER;
    return callShellFolderFunction<decltype(&::SHGetFolderPathA)>("SHGetFolderPathA", owner, folder,
                                                                  token, flags, path);
}

const wchar_t* getProductFolder(const wchar_t* prefix, const wchar_t* name) {
    static pathBuffer<wchar_t> s_buffer;
    buildProductFolder(s_buffer, prefix, name);
    return s_buffer;
}

const wchar_t* getProductFolderName(const wchar_t* prefix, const wchar_t* name) {
    static pathBuffer<wchar_t> s_buffer;
    buildProductFolder(s_buffer, prefix, name, false);
    return s_buffer;
}

const wchar_t* getProductFolderNameUnder(const wchar_t* appData, const wchar_t* prefix,
                                         const wchar_t* name) {
    static pathBuffer<wchar_t> s_buffer;
    if (appData == nullptr || appData[0] == L'\0')
        s_buffer[0] = L'\0';
    else
        buildProductFolder(s_buffer, prefix, name, false, appData);
    return s_buffer;
}

const char* getProductFolderA(const char* prefix, const char* name) {
    static pathBuffer<char> s_buffer;
    buildProductFolder(s_buffer, prefix, name);
    return s_buffer;
}

const wchar_t* getProductFilePath(const wchar_t* prefix, const wchar_t* name,
                                  const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_buffer;
    return buildProductFilePath(s_buffer, prefix, name, fileName);
}

const wchar_t* getProductFilePath(const wchar_t* name, const wchar_t* fileName) {
    return getProductFilePath(nullptr, name, fileName);
}

const char* getProductFilePathA(const char* prefix, const char* name, const char* fileName) {
    static pathBuffer<char> s_buffer;
    return buildProductFilePath(s_buffer, prefix, name, fileName);
}

const char* getProductFilePathA(const char* name, const char* fileName) {
    return getProductFilePathA(nullptr, name, fileName);
}

void ensureTrailingBackslash(wchar_t* text, std::size_t capacity) {
    ensureTrailingBackslashOf(text, capacity);
}

void ensureTrailingBackslashA(char* text, std::size_t capacity) {
    ensureTrailingBackslashOf(text, capacity);
}

wchar_t* getTempFileNameInProfile(const wchar_t* prefix) {
    static pathBuffer<wchar_t> s_buffer;
    s_buffer[0] = L'\0';
    s_lookup(nullptr, CSIDL_PROFILE, nullptr, 0, s_buffer);
    s_buffer[knownFolderPathCapacity - 1] = L'\0';
    return ::_wtempnam(s_buffer, prefix != nullptr ? prefix : L"");
}

char* getTempFileNameInProfileA(const char* prefix) {
    static pathBuffer<char> s_buffer;
    s_buffer[0] = '\0';
    s_lookupA(nullptr, CSIDL_PROFILE, nullptr, 0, s_buffer);
    s_buffer[knownFolderPathCapacity - 1] = '\0';
    return ::_tempnam(s_buffer, prefix != nullptr ? prefix : "");
}

const wchar_t* getDefaultLogFilePath(const wchar_t* prefix, const wchar_t* name,
                                     const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_cache;
    return cachedProductFilePath(s_cache, prefix, name,
                                 fileName != nullptr ? fileName : L"Tarnwick.log");
}

const wchar_t* getCachedProductFilePath1(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_cache;
    return cachedProductFilePath(s_cache, prefix, name, fileName);
}

const wchar_t* getCachedProductFilePath2(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_cache;
    return cachedProductFilePath(s_cache, prefix, name, fileName);
}

const wchar_t* getCachedProductFilePath3(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_cache;
    return cachedProductFilePath(s_cache, prefix, name, fileName);
}

const wchar_t* getCachedProductFilePath4(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName) {
    static pathBuffer<wchar_t> s_cache;
    return cachedProductFilePath(s_cache, prefix, name, fileName);
}

folderPathLookup setFolderPathLookup(folderPathLookup lookup) {
    const folderPathLookup previous = s_lookup;
    s_lookup = lookup != nullptr ? lookup : &getFolderPath;
    return previous;
}

folderPathLookupA setFolderPathLookupA(folderPathLookupA lookup) {
    const folderPathLookupA previous = s_lookupA;
    s_lookupA = lookup != nullptr ? lookup : &getFolderPathA;
    return previous;
}
