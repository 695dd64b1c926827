# Running Windows test programs under Wine, in a prefix inside the build tree.
find_program(ZOBRIK_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
find_program(ZOBRIK_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
if(NOT ZOBRIK_WINE64)
    message(WARNING "wine64 not found: the Windows tests cannot run")
endif()

set(ZOBRIK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(ZOBRIK_WINE_ENV
    "WINEPREFIX=${ZOBRIK_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINESERVER=${ZOBRIK_WINESERVER}"
    "WINEDLLOVERRIDES=winedbg.exe=d"
    "DISPLAY=")
set(ZOBRIK_RUN_TEST_PROGRAM ${PROJECT_SOURCE_DIR}/tests/wine/run-test-program.sh)

add_test(NAME wine_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${ZOBRIK_WINEPREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

# zobrik_add_wine_test(<name> <target> [PLAIN] [ARGS ...] [ENV ...] [TIMEOUT s])
# Runs the program under Wine with the crash handler off; ENV adds variables
# (WINEDLLOVERRIDES=... is added to, not replaced). A GoogleTest program
# passes only when it exits with 0 after its final summary; PLAIN marks a
# program of another kind, for which the exit status alone counts.
function(zobrik_add_wine_test name target)
    cmake_parse_arguments(ARG "PLAIN" "TIMEOUT" "ARGS;ENV" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set(mode)
    if(ARG_PLAIN)
        set(mode --plain)
    endif()
    add_test(NAME ${name} COMMAND ${ZOBRIK_RUN_TEST_PROGRAM} ${mode} ${ZOBRIK_WINE64} $<TARGET_FILE:${target}> ${ARG_ARGS})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${ZOBRIK_WINE_ENV};${ARG_ENV}")
endfunction()
