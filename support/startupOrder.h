#pragma once
// Process-wide objects of the program are constructed before the entry point in one fixed order,
// across files, and destroyed in reverse:
//   the file dialogs' folder memory, the log lock, the log file, the function-name and
//   file-name token maps with their locks, the application object.
// Mark each such definition with LOGSMITH_STARTUP_ORDER(startupOrder::...) so the order does not
// depend on the order in which the linker sees the files.
#ifndef RC_INVOKED

namespace startupOrder {
enum : int {
    folderMemory = 30001,
    logLock = 30002,
    logFile = 30003,
    functionTokens = 30004,
    fileTokens = 30005,
    application = 30006,
};
} // namespace startupOrder

#if defined(__GNUC__)
#define LOGSMITH_STARTUP_ORDER(rank) __attribute__((init_priority(rank)))
#else
// Other compilers construct in link order: list the files above in this order there.
#define LOGSMITH_STARTUP_ORDER(rank)
#endif

#endif
