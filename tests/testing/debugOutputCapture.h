#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Collects OutputDebugString lines of this process while alive (a vectored exception handler
// sees them as DBG_PRINTEXCEPTION_C, or its wide form on Windows 10 and later).
class debugOutputCapture {
public:
    debugOutputCapture();
    ~debugOutputCapture();
    debugOutputCapture(const debugOutputCapture&) = delete;
    debugOutputCapture& operator=(const debugOutputCapture&) = delete;

    std::vector<std::string> lines() const;

private:
    static LONG CALLBACK handler(EXCEPTION_POINTERS* info);
    void* m_handler = nullptr;
};
