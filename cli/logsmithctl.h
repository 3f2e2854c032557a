#pragma once
// logsmithctl: the console companion of the logging settings dialog. run takes the arguments
// after the program name and returns the exit code: 0 success, 1 the operation failed, 2 bad
// usage.
#include "cli/textOutput.h"

#include <string>
#include <vector>

int run(const std::vector<std::wstring>& arguments, textOutput& out, textOutput& err);

// "logsmithctl 1.0.0.1", from the running program's version record.
std::wstring versionText();
