// logsmithctl's entry point: everything else is in run, which the tests call in-process.
#include "cli/logsmithctl.h"
#include "platform/systemModules.h"

int wmain(int argc, wchar_t** argv) {
    restrictDllSearchToSystemFolder();
    std::vector<std::wstring> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.emplace_back(argv[index]);
    handleOutput out(::GetStdHandle(STD_OUTPUT_HANDLE));
    handleOutput err(::GetStdHandle(STD_ERROR_HANDLE));
    return run(arguments, out, err);
}
