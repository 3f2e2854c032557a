# Cross build for 64-bit Windows with Clang and lld, on the mingw-w64 GCC (posix thread model)
# headers and libraries that the GCC build uses: a second compiler over the same runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LOGSMITH_MINGW_PREFIX x86_64-w64-mingw32)
set(LOGSMITH_MINGW_GCC_DIR /usr/lib/gcc/${LOGSMITH_MINGW_PREFIX}/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${LOGSMITH_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${LOGSMITH_MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${LOGSMITH_MINGW_PREFIX}-windres)
# llvm-objcopy 14 cannot copy sections out of an lld image that carries a debug directory.
set(CMAKE_OBJCOPY ${LOGSMITH_MINGW_PREFIX}-objcopy CACHE FILEPATH "")
set(CMAKE_SYSROOT /usr/${LOGSMITH_MINGW_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${LOGSMITH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Clang does not find GCC's C++ library for this target on its own.
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem ${LOGSMITH_MINGW_GCC_DIR}/include/c++ \
-isystem ${LOGSMITH_MINGW_GCC_DIR}/include/c++/${LOGSMITH_MINGW_PREFIX} \
-isystem ${LOGSMITH_MINGW_GCC_DIR}/include/c++/backward")

# No MinGW runtime DLL may be needed next to our programs.
# -nostdinc++ reaches the link line too, where the driver does not use it.
set(LOGSMITH_CLANG_LINK_FLAGS
    "-fuse-ld=lld -static -L${LOGSMITH_MINGW_GCC_DIR} -Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${LOGSMITH_CLANG_LINK_FLAGS})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${LOGSMITH_CLANG_LINK_FLAGS})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${LOGSMITH_CLANG_LINK_FLAGS})
# libgcc_eh's thread-local emulation needs pthread_setspecific, which comes later in the
# driver's library order; the group lets lld resolve it.
set(CMAKE_CXX_STANDARD_LIBRARIES
    "-Wl,--start-group -lstdc++ -lgcc -lgcc_eh -lpthread -lmingwex -lmsvcrt -lkernel32 \
-Wl,--end-group -luser32 -lgdi32 -lwinspool -lshell32 -lole32 -loleaut32 -luuid -lcomdlg32 \
-ladvapi32"
    CACHE STRING "Libraries linked into every C++ program")
