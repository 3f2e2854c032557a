#pragma once
// A cabinet (.cab) built in memory through the system's Cabinet API (FCI of cabinet.dll, loaded
// from the system folder), MSZIP-compressed, in one cabinet without spanning. Explorer and the
// system's expand tool open it.
#include <windows.h>

#include <memory>
#include <string>

class cabinetBuilder {
public:
    cabinetBuilder();
    ~cabinetBuilder();
    cabinetBuilder(const cabinetBuilder&) = delete;
    cabinetBuilder& operator=(const cabinetBuilder&) = delete;

    // ERROR_SUCCESS when the Cabinet API is loaded and ready, else why not.
    DWORD status() const;

    // Adds bytes under name (ASCII, folders separated by backslashes, shorter than 256
    // characters), dated time (a UTC file time). ERROR_SUCCESS or the first failure.
    [[nodiscard]] DWORD add(const std::string& name, std::string bytes, const FILETIME& time);
    // Completes the cabinet into image; no file can be added afterwards.
    [[nodiscard]] DWORD finish(std::string& image);

private:
    struct state;
    std::unique_ptr<state> m_state;
};
