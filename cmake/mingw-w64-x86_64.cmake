# Cross build for 64-bit Windows with the mingw-w64 toolchain (posix thread model), for Logsmith
# and for programs built on its installed package. Self-contained: it names nothing beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LOGSMITH_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LOGSMITH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LOGSMITH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LOGSMITH_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LOGSMITH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No emulator: a project that runs its programs on a Linux build host (tests, code
# generators) sets CMAKE_CROSSCOMPILING_EMULATOR itself, for example to wine.

# No MinGW runtime DLL may be needed next to our programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
