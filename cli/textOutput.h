#pragma once
// Where the tool's text goes: a console gets wide text, anything else (a file, a pipe) UTF-8.
// Lines end in "\n" inside the tool; outside a console they are written as CR LF.
#include <windows.h>

#include <string>

class textOutput {
public:
    virtual ~textOutput() = default;
    virtual void write(const std::wstring& text) = 0;
};

// A standard handle of the process.
class handleOutput : public textOutput {
public:
    explicit handleOutput(HANDLE handle);
    void write(const std::wstring& text) override;

private:
    HANDLE m_handle;
    bool m_console;
};

// Collects everything, for callers that run the tool in-process.
class stringOutput : public textOutput {
public:
    void write(const std::wstring& text) override { m_text += text; }
    const std::wstring& text() const { return m_text; }

private:
    std::wstring m_text;
};

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
