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
# The prefix of test sessions (zobrik_add_session_test): the recording
# Simple MAPI stand-in and the stand-in wtsapi32.dll in its system directories.
set(ZOBRIK_SESSION_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-session)
list(APPEND ZOBRIK_WINEPREFIXES ${ZOBRIK_SESSION_WINEPREFIX})
set(ZOBRIK_WINE_ENV
    "WINEPREFIX=${ZOBRIK_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINESERVER=${ZOBRIK_WINESERVER}"
    "WINEDLLOVERRIDES=winedbg.exe=d"
    "DISPLAY=")
set(ZOBRIK_RUN_TEST_PROGRAM ${PROJECT_SOURCE_DIR}/tests/wine/run-test-program.sh)
set(ZOBRIK_INSTALL_MAPI_STANDIN ${PROJECT_SOURCE_DIR}/tests/wine/install-mapi-standin.sh)
set(ZOBRIK_INSTALL_WTSAPI32_STANDIN ${PROJECT_SOURCE_DIR}/tests/wine/install-wtsapi32-standin.sh)
set(ZOBRIK_RUN_IN_SESSION ${PROJECT_SOURCE_DIR}/tests/wine/run-in-session.sh)

# The one prefix that is booted; every test prefix is a copy of it, which
# takes about a second where a boot of its own takes 12-30 s
# (tests/wine/make-prefix.sh).
set(ZOBRIK_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wineprefix-template)
add_test(NAME wine_prefix_template
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh --template ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER}
        ${ZOBRIK_WINE_TEMPLATE})
set_tests_properties(wine_prefix_template PROPERTIES FIXTURES_SETUP wine_template TIMEOUT 300)

# zobrik_copy_wine_template(<test>...)
# The tests make their prefixes (tests/wine/make-prefix.sh, when missing) as
# copies of the template.
function(zobrik_copy_wine_template)
    set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED wine_template)
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT "ZOBRIK_WINE_TEMPLATE=${ZOBRIK_WINE_TEMPLATE}")
endfunction()

# Every prefix, each only when missing.
add_test(NAME wine_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${ZOBRIK_WINEPREFIXES})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
zobrik_copy_wine_template(wine_prefix)

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

# zobrik_gtest_cases(<out-var> <target>): "Suite.Case" for every TEST and
# TEST_F of the target's C++ sources, in source order.
function(zobrik_gtest_cases out target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(cases)
    foreach(source ${sources})
        if(NOT source MATCHES "\\.cpp$")
            continue()
        endif()
        if(NOT IS_ABSOLUTE ${source})
            set(source ${source_dir}/${source})
        endif()
        file(STRINGS ${source} lines REGEX "^[ \t]*TEST(_F)?\\(")
        foreach(line ${lines})
            if(line MATCHES "TEST(_F)?\\([ \t]*([A-Za-z0-9_]+)[ \t]*,[ \t]*([A-Za-z0-9_]+)[ \t]*\\)")
                list(APPEND cases "${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
            endif()
        endforeach()
    endforeach()
    set(${out} ${cases} PARENT_SCOPE)
endfunction()

# zobrik_add_wine_test(<name> <target> [PLAIN] [XVFB] [SERIAL] [MAPI <variant>]
#                      [ALL | SUITES <suite>... | CASES <Suite.Case>...] [EXCLUDE <Suite.Case>...]
#                      [ARGS ...] [ENV ...] [FIXTURES ...] [TIMEOUT s])
# Runs the program under Wine with the crash handler off; MAPI picks the
# Simple MAPI variant (default: wine, see zobrik_mapi_test_settings); ENV
# adds variables (WINEDLLOVERRIDES=... is added to, not replaced); FIXTURES
# replaces the fixtures the variant needs. A GoogleTest program passes only
# when it exits with 0 after its final summary; PLAIN marks a program of
# another kind, for which the exit status alone counts. XVFB runs it on a
# virtual X display of its own, where windows can be shown and answered.
#
# ALL, SUITES or CASES make one ctest entry per test case, <name>.<Suite>.<Case>,
# each running the program with --gtest_filter=<Suite>.<Case>: every case of
# the program, those of the named suites (exact names), or the named cases,
# less EXCLUDE. The environment is a property of the entries so chosen;
# zobrik_check_wine_cases fails the configuration when a case of such a
# program is left without an entry (a renamed suite cannot silently move).
# SERIAL keeps the entries from running at the same time as each other.
# Without them, one entry runs the program with ARGS as given.
# SESSION runs it in a test session with HOST_ARGS for the session host
# (see zobrik_add_session_test, which is the way to ask for it).
function(zobrik_add_wine_test name target)
    cmake_parse_arguments(ARG "PLAIN;XVFB;SERIAL;ALL;SESSION" "TIMEOUT;MAPI"
        "ARGS;ENV;FIXTURES;SUITES;CASES;EXCLUDE;HOST_ARGS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(NOT ARG_MAPI)
        set(ARG_MAPI wine)
    endif()
    zobrik_mapi_test_settings(${ARG_MAPI} mapi_env fixtures)
    if(ARG_FIXTURES)
        set(fixtures ${ARG_FIXTURES})
    endif()
    set(mode)
    if(ARG_PLAIN)
        set(mode --plain)
    endif()
    set(display)
    if(ARG_XVFB)
        set(display xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
    endif()
    set(session)
    if(ARG_SESSION)
        set(session ${ZOBRIK_RUN_IN_SESSION} ${ZOBRIK_WINE64} $<TARGET_FILE:zobrik-session-host> ${ARG_HOST_ARGS} --)
    endif()
    set(command ${display} ${session} ${ZOBRIK_RUN_TEST_PROGRAM} ${mode} ${ZOBRIK_WINE64} $<TARGET_FILE:${target}>)

    if(NOT ARG_ALL AND NOT ARG_SUITES AND NOT ARG_CASES)
        add_test(NAME ${name} COMMAND ${command} ${ARG_ARGS})
        set(tests ${name})
    else()
        zobrik_gtest_cases(all_cases ${target})
        set(tests)
        foreach(case ${all_cases})
            string(REGEX REPLACE "\\..*" "" suite ${case})
            if(NOT ARG_ALL AND NOT suite IN_LIST ARG_SUITES AND NOT case IN_LIST ARG_CASES)
                continue()
            endif()
            if(case IN_LIST ARG_EXCLUDE)
                continue()
            endif()
            add_test(NAME ${name}.${case} COMMAND ${command} --gtest_filter=${case} ${ARG_ARGS})
            list(APPEND tests ${name}.${case})
            set_property(GLOBAL APPEND PROPERTY ZOBRIK_REGISTERED_CASES_${target} ${case})
        endforeach()
        if(NOT tests)
            message(FATAL_ERROR "${name}: no test case of ${target} is selected")
        endif()
        set_property(GLOBAL APPEND PROPERTY ZOBRIK_CASE_PROGRAMS ${target})
        set_tests_properties(${tests} PROPERTIES LABELS "wine;${name}")
    endif()
    set_tests_properties(${tests} PROPERTIES
        FIXTURES_REQUIRED "${fixtures}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${ZOBRIK_WINE_ENV};${mapi_env};${ARG_ENV}")
    if(ARG_SERIAL)
        set_tests_properties(${tests} PROPERTIES RESOURCE_LOCK ${name})
    endif()
    set(ZOBRIK_LAST_WINE_TESTS ${tests} PARENT_SCOPE)
endfunction()

# zobrik_add_session_test(<name> <target> [PREFIX <dir> PREFIX_FIXTURE <fixture>]
#                         [HOST_ARGS <session host option>...] <zobrik_add_wine_test options>...)
# Runs the Windows program <target> "in a Remote Desktop session" under Wine,
# one host per ctest entry (each case of ALL/SUITES/CASES has its own):
# tests/wine/run-in-session.sh starts zobrik-session-host.exe (the real
# ZobrikWTSDVC.dll in the client stand-in, with the recording Simple MAPI
# stand-in as the client's mail program), runs the program with the stand-in
# wtsapi32.dll, whose WTSVirtualChannelOpenEx reaches the plug-in, and stops
# the host. The program (and the programs it starts) find in the environment:
# ZOBRIK_SESSION_HOST_LOG (the host's "host: ..." lines and the plug-in's
# "debug: ..." debugger lines), ZOBRIK_MAPI_LOG (the mails the client's mail
# program got; tests/host/mapi_standin_client.h parses the records) and
# ZOBRIK_MARKER_FILE (what marker.exe, opened on the client, writes).
# The program itself runs without mapi32=n: its Simple MAPI calls go through
# Wine's mapi32 to the prefix's default mail client (write the registration
# in the test, or give a PREFIX of your own that has it).
# PREFIX defaults to the session prefix (fixture wine_session); a prefix of
# your own needs a fixture that installs both stand-ins (see
# tests/wine/session_tests.cmake). HOST_ARGS: --policy NAME=NUMBER sets a
# policy value of the plug-in for this host. Other options as
# zobrik_add_wine_test (PLAIN, ALL, SUITES, CASES, EXCLUDE, ARGS, ENV,
# TIMEOUT, SERIAL, XVFB); MAPI and FIXTURES are taken by this function.
#   zobrik_add_session_test(my_session_tests my_session_tests ALL)
function(zobrik_add_session_test name target)
    cmake_parse_arguments(S "" "PREFIX;PREFIX_FIXTURE" "ENV" ${ARGN})
    if(NOT S_PREFIX)
        set(S_PREFIX ${ZOBRIK_SESSION_WINEPREFIX})
        set(S_PREFIX_FIXTURE wine_session)
    endif()
    if(NOT S_PREFIX_FIXTURE)
        message(FATAL_ERROR "${name}: PREFIX needs a PREFIX_FIXTURE that installs the stand-ins")
    endif()
    zobrik_add_wine_test(${name} ${target} SESSION FIXTURES wine ${S_PREFIX_FIXTURE}
        ENV WINEPREFIX=${S_PREFIX} ${S_ENV} ${S_UNPARSED_ARGUMENTS})
    add_dependencies(${target} zobrik-session-host)
    set(ZOBRIK_LAST_WINE_TESTS ${ZOBRIK_LAST_WINE_TESTS} PARENT_SCOPE)
endfunction()

# Marks cases that an entry of its own runs (not made by zobrik_add_wine_test).
function(zobrik_mark_wine_cases target)
    set_property(GLOBAL APPEND PROPERTY ZOBRIK_REGISTERED_CASES_${target} ${ARGN})
endfunction()

# Fails the configuration when a program registered case by case has a case
# that no entry runs.
function(zobrik_check_wine_cases)
    get_property(programs GLOBAL PROPERTY ZOBRIK_CASE_PROGRAMS)
    list(REMOVE_DUPLICATES programs)
    foreach(target ${programs})
        zobrik_gtest_cases(all_cases ${target})
        get_property(registered GLOBAL PROPERTY ZOBRIK_REGISTERED_CASES_${target})
        foreach(case ${all_cases})
            if(NOT case IN_LIST registered)
                message(FATAL_ERROR "test case ${case} of ${target} has no ctest entry: give its suite to an entry")
            endif()
        endforeach()
    endforeach()
endfunction()
