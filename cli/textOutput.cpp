#include "cli/textOutput.h"

#include <climits>

namespace {

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != FALSE;
}

void writeAll(HANDLE handle, const std::string& bytes) {
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(handle, next, chunk, &written, nullptr) || written == 0)
            return;
        next += written;
        left -= written;
    }
}

} // namespace

handleOutput::handleOutput(HANDLE handle) : m_handle(handle), m_console(isConsole(handle)) {}

void handleOutput::write(const std::wstring& text) {
    if (m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    if (m_console) {
        const wchar_t* next = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 8192));
            DWORD written = 0;
            if (!::WriteConsoleW(m_handle, next, chunk, &written, nullptr) || written == 0)
                return;
            next += written;
            left -= written;
        }
        return;
    }
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 16);
    for (wchar_t character : text) {
        if (character == L'\n')
            lines += L'\r';
        lines += character;
    }
    writeAll(m_handle, toUtf8(lines));
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX / 4))
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}
