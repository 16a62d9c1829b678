# Shared warning flags and helpers for the project's libraries, tests and benchmarks.

function(quillet_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(QUILLET_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    qcoro_enable_coroutines()
endfunction()

# quillet_library(NAME SOURCES ... [LIBS ...]) builds the static library quillet_NAME from the
# source folder src/NAME; its headers are included as "NAME/Header.h". Each library gets an include
# root of its own that holds only its folder, so a file can include the headers of its own library
# and of the libraries it links, and nothing else: a dependency arrow that points the wrong way
# does not compile.
function(quillet_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(quillet_${name} STATIC ${ARG_SOURCES})
    set(root ${PROJECT_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
    target_include_directories(quillet_${name} PUBLIC ${root})
    target_link_libraries(quillet_${name} PUBLIC ${ARG_LIBS})
    quillet_warnings(quillet_${name})
endfunction()

# quillet_test(NAME SOURCES ... [LIBS ...] [INTEGRATION] [TIMEOUT seconds]
# [LAUNCHER script args...]) adds a Qt Test executable run by CTest. Integration tests carry the
# label "integration" and expect the desktop services that tests/tools/with-desktop.sh starts; a
# test with a LAUNCHER runs inside the session that script starts (exit code 77 from it: skipped).
function(quillet_test name)
    cmake_parse_arguments(ARG "INTEGRATION" "TIMEOUT" "SOURCES;LIBS;LAUNCHER" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    quillet_warnings(${name})
    if(ARG_LAUNCHER)
        add_test(NAME ${name} COMMAND ${ARG_LAUNCHER} $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLET_TEST_TOOLS=${PROJECT_BINARY_DIR}/tests/tools;QUILLET_BINARY=$<TARGET_FILE:quillet>;QUILLET_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(ARG_INTEGRATION)
        set_tests_properties(${name} PROPERTIES LABELS integration)
    else()
        set_tests_properties(${name} PROPERTIES LABELS unit)
    endif()
endfunction()

# quillet_bench(NAME SOURCES ... [LIBS ...]) adds a benchmark executable; benchmarks print their
# figures and are never part of the test run.
function(quillet_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
    quillet_warnings(${name})
endfunction()
