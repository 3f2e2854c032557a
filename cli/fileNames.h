#pragma once
// What a path names before anything opens it: a file, a folder or a device; and what no log file
// can be called.
#include "support/uniqueResource.h"

#include <windows.h>

#include <string>
#include <vector>

// Why a path must not be opened for reading as a file, or empty: a folder, or a device (a port,
// a pipe, a console), which could block the read, answer with anything or lose data to it.
// Decided from the name first: after a \\?\ or \\.\ prefix only a drive path (C:\...) or a
// UNC path names a file; a reserved device name (NUL, con.txt, C:\logs\COM1.log) is a device.
std::wstring notAFileReason(const std::wstring& path);

// Opens an existing file for reading when the name passes notAFileReason and the system says
// it is a file on disk; else an empty holder and the reason. The name cannot be deleted or
// renamed while the holder is open, so a second open of it reaches the same file.
uniqueFileHandle openFileForReading(const std::wstring& path, std::wstring& reason);

// Why no log file can have this name, one text per problem, each to follow the name: characters
// a file name cannot hold, a reserved device name as any part, a name ending in a dot or a space
// or in a separator. A device meant as such (\\.\pipe\name, \\.\NUL) has none.
std::vector<std::wstring> logFileNameProblems(const std::wstring& name);

// What stops a log file from being created under this name, judged by the system's path rules,
// one text per problem (each a whole sentence part that names the path); empty when nothing
// does: a relative path (it would depend on the working folder of the program that logs), the
// problems above, a path that names a folder, a folder that does not exist or cannot be reached,
// and %VAR% text, which a REG_SZ value never expands.
std::vector<std::wstring> logFilePathProblems(const std::wstring& name);
