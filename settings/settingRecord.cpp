#include "settings/settingRecord.h"

#include "settings/fileBuffer.h"
#include "support/tarnHeap.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

void* supportHeapAlloc(std::size_t bytes) {
    return tarnHeapAlloc(0, bytes);
}

void supportHeapFree(void* block) {
    tarnHeapFree(0, block);
}

settingRecordHeapCalls g_heap = {supportHeapAlloc, supportHeapFree};

void releaseBlock(void* block) {
    if (block != nullptr)
        g_heap.free(block);
}

struct blockDeleter {
    void operator()(void* block) const noexcept { releaseBlock(block); }
};
template <typename T> using supportBlock = std::unique_ptr<T, blockDeleter>;

template <typename T> supportBlock<T> allocateBlock(std::size_t bytes) {
    return supportBlock<T>(static_cast<T*>(g_heap.alloc(bytes)));
}

int fail(DWORD error) {
    ::SetLastError(error);
    return 0;
}

} // namespace

int compareNames(const wchar_t* left, const wchar_t* right) {
    const wchar_t* l = left != nullptr ? left : L"";
    const wchar_t* r = right != nullptr ? right : L"";
    for (;; ++l, ++r) {
        const auto a = static_cast<std::uint16_t>(*l);
        const auto b = static_cast<std::uint16_t>(*r);
        if (a != b)
            return a < b ? -1 : 1;
        if (a == 0)
            return 0;
    }
}

settingRecordHeapCalls setSettingRecordHeapCalls(settingRecordHeapCalls calls) {
    const settingRecordHeapCalls previous = g_heap;
    g_heap.alloc = calls.alloc != nullptr ? calls.alloc : supportHeapAlloc;
    g_heap.free = calls.free != nullptr ? calls.free : supportHeapFree;
    return previous;
}

void* settingRecord::operator new(std::size_t size) noexcept {
    return g_heap.alloc(size);
}

void settingRecord::operator delete(void* block) noexcept {
    releaseBlock(block);
}

int settingRecord::set(const wchar_t* newName, DWORD newType, DWORD newSize, const void* newValue) {
    supportBlock<wchar_t> nameCopy;
    if (newName != nullptr) {
        const std::size_t bytes = (std::wcslen(newName) + 1) * sizeof(wchar_t);
        nameCopy = allocateBlock<wchar_t>(bytes);
        if (!nameCopy)
            return fail(ERROR_NOT_ENOUGH_MEMORY);
        std::memcpy(nameCopy.get(), newName, bytes);
    }
    supportBlock<unsigned char> valueCopy;
    if (newValue != nullptr) {
        valueCopy = allocateBlock<unsigned char>(newSize);
        if (!valueCopy)
            return fail(ERROR_NOT_ENOUGH_MEMORY);
        if (newSize != 0)
            std::memcpy(valueCopy.get(), newValue, newSize);
    }
    clear();
    name = nameCopy.release();
    valueType = newType;
    value = valueCopy.release();
    valueSize = value != nullptr ? newSize : 0;
    return 1;
}

int settingRecord::get(const wchar_t*& outName, DWORD& outType, DWORD& outSize,
                       const unsigned char*& outValue) const {
    outName = name;
    outType = valueType;
    outSize = valueSize;
    outValue = value;
    return 1;
}

int settingRecord::writeTo(fileBuffer& buffer) const {
    const wchar_t* text = name != nullptr ? name : L"";
    const std::size_t characters = std::wcslen(text) + 1;
    if (characters > 0x7FFFFFFFu)
        return fail(ERROR_ARITHMETIC_OVERFLOW);
    const DWORD nameBytes = static_cast<DWORD>(characters * sizeof(wchar_t));
    return buffer.writeBytes(&nameBytes, sizeof(nameBytes), nullptr) &&
           buffer.writeBytes(text, nameBytes, nullptr) &&
           buffer.writeBytes(&valueType, sizeof(valueType), nullptr) &&
           buffer.writeBytes(&valueSize, sizeof(valueSize), nullptr) &&
           buffer.writeBytes(value, valueSize, nullptr);
}

int settingRecord::readFrom(fileBuffer& buffer, const char** damage) {
    clear();
    const char* ignored = nullptr;
    const char*& reason = damage != nullptr ? *damage : ignored;
    const auto damaged = [&](const char* what) {
        reason = what;
        return fail(ERROR_INVALID_DATA);
    };
    if (!buffer.hasData())
        return damaged("no data");
    // Every size is checked against what remains before it is allocated: a few damaged bytes
    // must not ask for gigabytes.
    DWORD nameBytes = 0;
    if (!buffer.readBytes(&nameBytes, sizeof(nameBytes), nullptr))
        return damaged("the name size is cut off");
    if (nameBytes == 0 || nameBytes % sizeof(wchar_t) != 0)
        return damaged("the name size is zero or odd");
    if (nameBytes > buffer.getSize() - buffer.tell())
        return damaged("the name size runs past the end of the file");
    supportBlock<wchar_t> nameCopy = allocateBlock<wchar_t>(nameBytes);
    if (!nameCopy)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    const std::size_t characters = nameBytes / sizeof(wchar_t);
    DWORD type = 0;
    DWORD size = 0;
    if (!buffer.readBytes(nameCopy.get(), nameBytes, nullptr) ||
        nameCopy.get()[characters - 1] != L'\0')
        return damaged("the name does not end in a zero character");
    if (!buffer.readBytes(&type, sizeof(type), nullptr) ||
        !buffer.readBytes(&size, sizeof(size), nullptr))
        return damaged("the value type or size is cut off");
    if (size == 0 || size > buffer.getSize() - buffer.tell())
        return damaged(size == 0 ? "the value size is zero"
                                 : "the value size runs past the end of the file");
    supportBlock<unsigned char> valueCopy = allocateBlock<unsigned char>(size);
    if (!valueCopy)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    if (!buffer.readBytes(valueCopy.get(), size, nullptr))
        return damaged("the value is cut off");
    name = nameCopy.release();
    valueType = type;
    valueSize = size;
    value = valueCopy.release();
    return 1;
}

int settingRecord::compare(const settingRecord& other) const {
    const int names = compareNames(name, other.name);
    if (names != 0)
        return names;
    // Differences of 32-bit fields can leave int's range; only their sign has to be right.
    const auto difference = [](DWORD a, DWORD b) {
        const std::int64_t d = std::int64_t{a} - std::int64_t{b};
        return d < INT32_MIN ? INT32_MIN : d > INT32_MAX ? INT32_MAX : static_cast<int>(d);
    };
    if (valueType != other.valueType)
        return difference(valueType, other.valueType);
    if (valueSize != other.valueSize)
        return difference(valueSize, other.valueSize);
    if (valueSize == 0)
        return 0;
    return std::memcmp(value, other.value, valueSize);
}

void settingRecord::clear() {
    releaseBlock(name);
    releaseBlock(value);
    name = nullptr;
    value = nullptr;
    valueType = 0;
    valueSize = 0;
}
