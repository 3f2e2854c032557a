# find_package(Logsmith) for programs built with a mingw-w64 toolchain for 64-bit Windows: the
# imported targets Logsmith::support, framework, containers, diagnostics, platform and settings,
# each with its include folder, the modules and Windows libraries it links, and C++20.
if(NOT WIN32)
    set(Logsmith_FOUND FALSE)
    set(Logsmith_NOT_FOUND_MESSAGE "Logsmith is a Windows library: configure with a toolchain "
                                   "file for 64-bit Windows")
    return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/LogsmithTargets.cmake)
