#include "tests/testing/debugOutputCapture.h"

#include <mutex>

namespace {

constexpr DWORD debugPrintNarrow = 0x40010006;
constexpr DWORD debugPrintWide = 0x4001000A;

std::mutex captureLock;
std::vector<std::string> captured;

} // namespace

debugOutputCapture::debugOutputCapture() {
    std::lock_guard<std::mutex> guard(captureLock);
    captured.clear();
    m_handler = ::AddVectoredExceptionHandler(1, &debugOutputCapture::handler);
}

debugOutputCapture::~debugOutputCapture() {
    if (m_handler != nullptr)
        ::RemoveVectoredExceptionHandler(m_handler);
}

std::vector<std::string> debugOutputCapture::lines() const {
    std::lock_guard<std::mutex> guard(captureLock);
    return captured;
}

LONG CALLBACK debugOutputCapture::handler(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    std::string line;
    if (record->ExceptionCode == debugPrintWide && record->NumberParameters >= 2) {
        // Trace lines are ASCII: each code unit narrows to one byte.
        const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        for (; text != nullptr && *text != L'\0'; ++text)
            line += static_cast<char>(*text);
    } else if (record->ExceptionCode == debugPrintNarrow && record->NumberParameters >= 2) {
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        if (text != nullptr)
            line = text;
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    std::lock_guard<std::mutex> guard(captureLock);
    captured.push_back(line);
    return EXCEPTION_CONTINUE_EXECUTION;
}
