# Warnings a preset adds to -Wall -Wextra (a list), for example the Clang preset's.
set(LOGSMITH_EXTRA_WARNINGS "" CACHE STRING "Compiler warnings added to -Wall -Wextra")
# A checked build for the tests: undefined behaviour stops the program at once (the sanitizer's
# trap mode, as mingw-w64 has no sanitizer runtime) and the C++ library checks its bounds and
# preconditions.
option(LOGSMITH_CHECKED "Trap on undefined behaviour and check the C++ library's preconditions"
       OFF)
if(LOGSMITH_CHECKED)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(LOGSMITH_CHECKED_OPTIONS -fsanitize=undefined -fsanitize-trap=undefined)
    else()
        set(LOGSMITH_CHECKED_OPTIONS -fsanitize=undefined -fsanitize-undefined-trap-on-error)
    endif()
    list(APPEND LOGSMITH_CHECKED_OPTIONS -D_GLIBCXX_ASSERTIONS)
endif()

# Compile settings shared by every target of the project.
function(logsmith_target_defaults target)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601
                                                 NOMINMAX)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-municode -Wall -Wextra>)
    target_compile_options(${target} PRIVATE
                           $<$<COMPILE_LANGUAGE:C,CXX>:${LOGSMITH_EXTRA_WARNINGS}>)
    target_compile_options(${target} PRIVATE
                           $<$<COMPILE_LANGUAGE:C,CXX>:${LOGSMITH_CHECKED_OPTIONS}>)
    if(LOGSMITH_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
    endif()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                                $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
    target_link_options(${target} PRIVATE -municode)
endfunction()

# One static library per module folder. INSTALL puts the module into the Logsmith package: the
# library (liblogsmith_<name>.a, imported as Logsmith::<name> with its links) and the folder's
# headers under include/<name>/, except PRIVATE_HEADERS (for the module's own sources or tests).
function(logsmith_module name)
    cmake_parse_arguments(ARG "INSTALL" "" "SOURCES;DEPENDS;SYSTEM_LIBS;PRIVATE_HEADERS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    logsmith_target_defaults(${name})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_SYSTEM_LIBS})
    if(NOT ARG_INSTALL)
        return()
    endif()
    set_target_properties(${name} PROPERTIES OUTPUT_NAME logsmith_${name})
    target_compile_features(${name} PUBLIC cxx_std_20)
    target_include_directories(${name} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    install(TARGETS ${name} EXPORT LogsmithTargets
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)
    file(GLOB headers RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(header ${ARG_PRIVATE_HEADERS})
        if(NOT header IN_LIST headers)
            message(FATAL_ERROR "${name}: private header ${header} is not in the folder")
        endif()
    endforeach()
    list(REMOVE_ITEM headers ${ARG_PRIVATE_HEADERS})
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name} COMPONENT library)
endfunction()

# One GoogleTest executable per module; tests are listed by running the program under Wine at
# test time, so the build itself never needs Wine.
function(logsmith_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/testing/testMain.cpp)
    logsmith_target_defaults(${name})
    target_link_libraries(${name} PRIVATE logsmith_testing ${ARG_DEPENDS} GTest::gtest)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 120)
endfunction()

# The test executable of a module: every .cpp file in the calling folder.
function(logsmith_module_tests module)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    logsmith_test(${module}_tests SOURCES ${sources} DEPENDS ${module} ${ARGN})
endfunction()

# Tests that need the Linux build host: Wine, bash, wixl and msitools, binutils, cabextract. A
# Windows host lists them as not run (disabled), with the reason in the configure output; the
# label lets a run select or leave them out (ctest -LE linux-host).
function(logsmith_linux_host_tests reason)
    set_property(TEST ${ARGN} APPEND PROPERTY LABELS linux-host)
    if(CMAKE_HOST_WIN32)
        set_tests_properties(${ARGN} PROPERTIES DISABLED TRUE)
        message(STATUS "Not run on a Windows host (${reason}): ${ARGN}")
    endif()
endfunction()
