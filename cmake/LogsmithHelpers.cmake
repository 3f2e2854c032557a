# Compile settings shared by every target of the project.
function(logsmith_target_defaults target)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601
                                                 NOMINMAX)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-municode -Wall -Wextra>)
    if(LOGSMITH_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
    endif()
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}
                                                ${PROJECT_BINARY_DIR}/generated)
    target_link_options(${target} PRIVATE -municode)
endfunction()

# One static library per module folder.
function(logsmith_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;SYSTEM_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    logsmith_target_defaults(${name})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_SYSTEM_LIBS})
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
