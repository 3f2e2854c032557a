// The cursor's typed reads and writes, counted strings and line readers.
#include "settings/fileBuffer.h"

#include "support/stubString.h"

#include <cstring>

int fileBuffer::readBytes(void* destination, DWORD count, DWORD* countRead) {
    // position + count is compared without wrap-around: a count taken from the data can be
    // anything.
    if (data == nullptr || position >= size || count > size - position)
        return 0;
    if (count != 0)
        std::memcpy(destination, data + position, count);
    position += count;
    if (countRead != nullptr)
        *countRead = count;
    return 1;
}

int fileBuffer::writeBytes(const void* source, DWORD count, DWORD* countWritten) {
    if (!reserve(count))
        return 0;
    if (count != 0)
        std::memcpy(data + position, source, count);
    if (countWritten != nullptr)
        *countWritten = count;
    position += count;
    if (position > size)
        size = position;
    return 1;
}

template <typename T> int fileBuffer::readValue(T& value) {
    T read;
    if (!readBytes(&read, sizeof(T), nullptr))
        return 0;
    value = read;
    return 1;
}

template <typename T> int fileBuffer::writeValue(T value) {
    return writeBytes(&value, sizeof(T), nullptr);
}

int fileBuffer::read(std::int8_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::uint8_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::int16_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::uint16_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::int32_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::uint32_t& value) {
    return readValue(value);
}
int fileBuffer::read(long& value) {
    return readValue(value);
}
int fileBuffer::read(unsigned long& value) {
    return readValue(value);
}
int fileBuffer::read(std::int64_t& value) {
    return readValue(value);
}
int fileBuffer::read(std::uint64_t& value) {
    return readValue(value);
}
int fileBuffer::read(float& value) {
    return readValue(value);
}
int fileBuffer::read(double& value) {
    return readValue(value);
}

int fileBuffer::write(std::int8_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::uint8_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::int16_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::uint16_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::int32_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::uint32_t value) {
    return writeValue(value);
}
int fileBuffer::write(long value) {
    return writeValue(value);
}
int fileBuffer::write(unsigned long value) {
    return writeValue(value);
}
int fileBuffer::write(std::int64_t value) {
    return writeValue(value);
}
int fileBuffer::write(std::uint64_t value) {
    return writeValue(value);
}
int fileBuffer::write(float value) {
    return writeValue(value);
}
int fileBuffer::write(double value) {
    return writeValue(value);
}

namespace {

template <typename Unit> std::size_t unitLength(const Unit* text) {
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

} // namespace

// The length and the units go in as one piece, so a failure leaves the buffer as it was.
template <typename Unit> int fileBuffer::writeCountedUnits(const Unit* text) {
    const std::size_t length = text != nullptr ? unitLength(text) : 0;
    if (length > (0xFFFFFFFFull - sizeof(std::uint32_t)) / sizeof(Unit)) {
        ::SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(length);
    const DWORD bytes = static_cast<DWORD>(length * sizeof(Unit));
    if (!reserve(static_cast<DWORD>(sizeof(count) + bytes)))
        return 0;
    std::memcpy(data + position, &count, sizeof(count));
    if (bytes != 0)
        std::memcpy(data + position + sizeof(count), text, bytes);
    position += static_cast<DWORD>(sizeof(count) + bytes);
    if (position > size)
        size = position;
    return 1;
}

int fileBuffer::writeCounted(const wchar_t* text) {
    return writeCountedUnits(text);
}

int fileBuffer::writeCounted(const char* text) {
    return writeCountedUnits(text);
}

template <typename Unit> int fileBuffer::readUnit(Unit& unit) {
    return readBytes(&unit, sizeof(Unit), nullptr);
}

int fileBuffer::readCounted(stubString& text) {
    std::uint32_t count = 0;
    if (!read(count))
        return 0;
    text.Empty();
    for (std::uint32_t i = 0; i < count; ++i) {
        wchar_t unit = 0;
        if (!readUnit(unit))
            return 0;
        text += unit;
    }
    return 1;
}

int fileBuffer::readCountedA(stubString& text) {
    std::uint32_t count = 0;
    if (!read(count))
        return 0;
    text.Empty();
    for (std::uint32_t i = 0; i < count; ++i) {
        char unit = 0;
        if (!readUnit(unit))
            return 0;
        text += unit;
    }
    return 1;
}

template <typename Unit> int fileBuffer::readLineInto(stubString& line) {
    line.Empty();
    for (;;) {
        Unit unit = 0;
        if (!readUnit(unit))
            return 0;
        if (unit == Unit('\n'))
            return 1;
        line += unit;
    }
}

int fileBuffer::readLine(stubString& line) {
    return readLineInto<wchar_t>(line);
}

int fileBuffer::readLineA(stubString& line) {
    return readLineInto<char>(line);
}

template <typename Unit> Unit* fileBuffer::readLineInto(Unit* buffer, int bufferUnits) {
    if (buffer == nullptr || bufferUnits < 1)
        return nullptr;
    int stored = 0;
    for (;;) {
        Unit unit = 0;
        if (!readUnit(unit)) {
            buffer[stored] = 0;
            return nullptr;
        }
        buffer[stored++] = unit;
        if (unit == Unit('\n') || stored == bufferUnits)
            break;
    }
    // A full buffer loses its last unit to the terminator.
    buffer[stored < bufferUnits ? stored : bufferUnits - 1] = 0;
    return buffer;
}

wchar_t* fileBuffer::readLine(wchar_t* buffer, int bufferUnits) {
    return readLineInto(buffer, bufferUnits);
}

char* fileBuffer::readLine(char* buffer, int bufferUnits) {
    return readLineInto(buffer, bufferUnits);
}
