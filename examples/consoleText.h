#pragma once
// Console output of the examples, shared by all of them.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

// Wide text for printf("%s"): UTF-8, which the console shows as typed while utf8Console lives
// (a redirected output is UTF-8 too). printf("%ls") would pass only what the C runtime's locale
// can encode.
inline std::string utf8(std::wstring_view text) {
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// Sets the console to UTF-8 and gives it back its own code page afterwards.
class utf8Console {
public:
    utf8Console() : previous(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
    ~utf8Console() {
        std::fflush(stdout);
        if (previous != 0)
            SetConsoleOutputCP(previous);
    }
    utf8Console(const utf8Console&) = delete;
    utf8Console& operator=(const utf8Console&) = delete;

private:
    UINT previous;
};
