# Shared warning flags and helpers for the project's libraries, tests and benchmarks.

option(QUILLET_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QUILLET_SANITIZE)
    # Undefined behaviour ends the program like a memory fault does, so a test fails on it instead
    # of printing a line nobody reads.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()

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

# quillet_test(NAME SOURCES ... [LIBS ...] [INTEGRATION] [SHARES_DESKTOP] [TIMEOUT seconds]
# [LAUNCHER script args...]) adds a Qt Test executable run by CTest. Integration tests carry the
# label "integration" and expect the desktop services that tests/tools/with-desktop.sh starts. A
# test that skips from initTestCase (outside that desktop, say) ran nothing, and CTest reports it
# as skipped rather than passed. SHARES_DESKTOP marks a unit test that still reaches the desktop's
# services (through the quillet binary, say), so that it takes turns with the integration tests. A
# test with a LAUNCHER runs inside the session that script starts (exit code 77 from it: skipped).
function(quillet_test name)
    cmake_parse_arguments(ARG "INTEGRATION;SHARES_DESKTOP" "TIMEOUT" "SOURCES;LIBS;LAUNCHER" ${ARGN})
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
        SKIP_REGULAR_EXPRESSION "SKIP +: [A-Za-z0-9_]+::initTestCase\\(\\)"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLET_TEST_TOOLS=${PROJECT_BINARY_DIR}/tests/tools;QUILLET_BINARY=$<TARGET_FILE:quillet>;QUILLET_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(QUILLET_SANITIZE)
        # The programs a test starts (quillet, the simulators) inherit these too. Allocation
        # stacks are unwound fully: the system libraries keep no frame pointers, and a leak
        # report (or a suppression) needs the frames above them.
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
            "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tools/lsan.supp:print_suppressions=0")
    endif()
    if(ARG_INTEGRATION)
        set_tests_properties(${name} PROPERTIES LABELS integration)
    else()
        set_tests_properties(${name} PROPERTIES LABELS unit)
    endif()
    if(ARG_INTEGRATION OR ARG_SHARES_DESKTOP)
        # These tests share one desktop: one keyring (one test's keys are what another reads), one
        # session bus (one test counts the announcements another's commands make), one default
        # microphone, one X server's focus and clipboard. They take turns; the others run beside.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK quillet_desktop)
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
