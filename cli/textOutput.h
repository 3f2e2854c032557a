#pragma once
// Where the tool's text goes: a console gets wide text, anything else (a file, a pipe) UTF-8.
// Lines end in "\n" inside the tool; outside a console they are written as CR LF.
#include <windows.h>

#include <string>

class textOutput {
public:
    virtual ~textOutput() = default;
    virtual void write(const std::wstring& text) = 0;
    // The system's code for the first write that did not go through completely, else 0. Once
    // a write has failed, later ones are dropped.
    virtual DWORD failure() const { return ERROR_SUCCESS; }
};

// A standard handle of the process.
class handleOutput : public textOutput {
public:
    explicit handleOutput(HANDLE handle);
    void write(const std::wstring& text) override;
    DWORD failure() const override { return m_failure; }

private:
    HANDLE m_handle;
    bool m_console;
    DWORD m_failure = ERROR_SUCCESS;
};

// Collects everything, for callers that run the tool in-process.
class stringOutput : public textOutput {
public:
    void write(const std::wstring& text) override { m_text += text; }
    const std::wstring& text() const { return m_text; }

private:
    std::wstring m_text;
};

// UTF-8 both ways; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// The same, except that unpaired surrogates keep their value (encoded as three bytes each, as
// UTF-8 would encode the code point), so text of any code units comes back unchanged. For
// passing the system's arguments through the argument parser.
std::string toLosslessUtf8(const std::wstring& text);
std::wstring fromLosslessUtf8(const std::string& text);

// Whether every surrogate of the text is part of a pair.
bool isWellFormed(const std::wstring& text);

// Stored text made safe for one line of text output: control characters (C0, DEL, C1) as \r,
// \n, \t or \xHH and unpaired surrogates as \uD800; everything else, pairs included, as
// itself. quoted: also \\ and \" escaped, inside double quotes.
std::wstring printable(const std::wstring& text);
std::wstring quotedPrintable(const std::wstring& text);
