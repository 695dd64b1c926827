# Running Windows test programs under Wine, in prefixes inside the build tree.
find_program(ZOBRIK_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
find_program(ZOBRIK_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
if(NOT ZOBRIK_WINE64)
    message(WARNING "wine64 not found: the Windows tests cannot run")
endif()

# One prefix per Simple MAPI variant, since the plug-in takes MAPI32.dll from
# the system directory alone: the shared prefix has Wine's own mapi32 (or,
# with WINEDLLOVERRIDES=mapi32=, none); wineprefix-mapi-<variant> has a
# stand-in as system32\mapi32.dll (see tests/standins); the Outlook prefix
# has the Outlook stand-in registered and the recording MAPI32 stand-in.
set(ZOBRIK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(ZOBRIK_MAPI_VARIANTS recording nosend)
set(ZOBRIK_OUTLOOK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-outlook)
set(ZOBRIK_WINEPREFIXES ${ZOBRIK_WINEPREFIX} ${ZOBRIK_OUTLOOK_WINEPREFIX})
foreach(variant ${ZOBRIK_MAPI_VARIANTS})
    list(APPEND ZOBRIK_WINEPREFIXES ${CMAKE_BINARY_DIR}/wineprefix-mapi-${variant})
endforeach()
set(ZOBRIK_WINE_ENV
    "WINEPREFIX=${ZOBRIK_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINESERVER=${ZOBRIK_WINESERVER}"
    "WINEDLLOVERRIDES=winedbg.exe=d"
    "DISPLAY=")
set(ZOBRIK_RUN_TEST_PROGRAM ${PROJECT_SOURCE_DIR}/tests/wine/run-test-program.sh)
set(ZOBRIK_INSTALL_MAPI_STANDIN ${PROJECT_SOURCE_DIR}/tests/wine/install-mapi-standin.sh)

# Every prefix at once, each only when missing (wineboot mostly waits, so
# booting them side by side costs little more than one).
add_test(NAME wine_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${ZOBRIK_WINEPREFIXES})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

# zobrik_mapi_test_settings(<variant> <env-var> <fixtures-var>)
# The environment entries and fixtures of a test that runs with the Simple
# MAPI <variant>: recording or nosend (the stand-in in the system directory
# of its prefix, preferred to Wine's builtin), none (mapi32 switched off) or
# wine (Wine's own mapi32).
function(zobrik_mapi_test_settings variant env_var fixtures_var)
    set(env)
    set(fixtures wine)
    if(variant STREQUAL "none")
        list(APPEND env "WINEDLLOVERRIDES=mapi32=")
    elseif(variant IN_LIST ZOBRIK_MAPI_VARIANTS)
        list(APPEND env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-mapi-${variant}" "WINEDLLOVERRIDES=mapi32=n")
        list(APPEND fixtures wine_mapi_${variant})
    elseif(NOT variant STREQUAL "wine")
        message(FATAL_ERROR "unknown Simple MAPI variant '${variant}'")
    endif()
    set(${env_var} ${env} PARENT_SCOPE)
    set(${fixtures_var} ${fixtures} PARENT_SCOPE)
endfunction()

# zobrik_add_wine_test(<name> <target> [PLAIN] [XVFB] [MAPI <variant>] [ARGS ...] [ENV ...] [TIMEOUT s])
# Runs the program under Wine with the crash handler off; MAPI picks the
# Simple MAPI variant (default: wine, see zobrik_mapi_test_settings); ENV
# adds variables (WINEDLLOVERRIDES=... is added to, not replaced). A
# GoogleTest program passes only when it exits with 0 after its final
# summary; PLAIN marks a program of another kind, for which the exit status
# alone counts. XVFB runs it on a virtual X display of its own, where
# windows can be shown and answered.
function(zobrik_add_wine_test name target)
    cmake_parse_arguments(ARG "PLAIN;XVFB" "TIMEOUT;MAPI" "ARGS;ENV" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(NOT ARG_MAPI)
        set(ARG_MAPI wine)
    endif()
    zobrik_mapi_test_settings(${ARG_MAPI} mapi_env fixtures)
    set(mode)
    if(ARG_PLAIN)
        set(mode --plain)
    endif()
    set(display)
    if(ARG_XVFB)
        set(display xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
    endif()
    add_test(NAME ${name}
        COMMAND ${display} ${ZOBRIK_RUN_TEST_PROGRAM} ${mode} ${ZOBRIK_WINE64} $<TARGET_FILE:${target}> ${ARG_ARGS})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED "${fixtures}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${ZOBRIK_WINE_ENV};${mapi_env};${ARG_ENV}")
endfunction()
