# ZobrikMapi.dll under Wine, 64-bit and 32-bit, through Wine's own
# mapi32.dll (zobrik_mapi_checks, see mapi_checks.cpp), in a prefix of its
# own whose registry the checks change (the default mail client, the
# recorded previous one): outside a session the call goes to the previous
# mail client (the recording Simple MAPI stand-in of the program's bitness);
# in a test session (tests/wine/run-in-session.sh) it reaches the real
# plug-in and the client's recording stand-in. Included by
# tests/CMakeLists.txt after the session harness.
set(ZOBRIK_MAPI_PROVIDER_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-mapi-provider)
add_test(NAME wine_prefix_mapi_provider
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER}
        ${ZOBRIK_MAPI_PROVIDER_WINEPREFIX})
set_tests_properties(wine_prefix_mapi_provider PROPERTIES FIXTURES_SETUP wine_mapi_provider_prefix TIMEOUT 300)
zobrik_copy_wine_template(wine_prefix_mapi_provider)
zobrik_session_prefix_fixture(mapi_provider_session ${ZOBRIK_MAPI_PROVIDER_WINEPREFIX} wine_mapi_provider_prefix)

set(mapi_checks64 $<TARGET_FILE:zobrik_mapi_checks>)
set(mapi_checks32 ${ZOBRIK_WIN32_BIN}/zobrik_mapi_checks.exe)
set(mapi_provider64 $<TARGET_FILE:ZobrikMapi>)
set(mapi_provider32 ${ZOBRIK_WIN32_BIN}/ZobrikMapi.dll)
set(mapi_recording64 $<TARGET_FILE:zobrik_mapi_recording>)
set(mapi_recording32 ${ZOBRIK_WIN32_BIN}/mapi-recording/MAPI32.dll)
# The program takes Wine's builtin mapi32, never the client's stand-in that
# the session fixture puts in the system directory.
set(mapi_checks_env ${ZOBRIK_WINE_ENV} WINEPREFIX=${ZOBRIK_MAPI_PROVIDER_WINEPREFIX})
set(mapi_checks_run ${ZOBRIK_RUN_TEST_PROGRAM} --plain ${ZOBRIK_WINE64})
set(mapi_session_run ${ZOBRIK_RUN_IN_SESSION} ${ZOBRIK_WINE64} $<TARGET_FILE:zobrik-session-host>)

set(mapi_provider_tests)
foreach(bits 64 32)
    add_test(NAME mapi_provider${bits}_outside_session
        COMMAND ${mapi_checks_run} ${mapi_checks${bits}} outside ${mapi_provider${bits}} ${mapi_recording${bits}})
    add_test(NAME mapi_provider${bits}_in_session
        COMMAND ${mapi_session_run} -- ${mapi_checks_run} ${mapi_checks${bits}} session ${mapi_provider${bits}})
    add_test(NAME mapi_provider${bits}_client_refuses
        COMMAND ${mapi_session_run} --policy MailMaxRecipients=1 --
            ${mapi_checks_run} ${mapi_checks${bits}} refused ${mapi_provider${bits}})
    list(APPEND mapi_provider_tests mapi_provider${bits}_outside_session mapi_provider${bits}_in_session
        mapi_provider${bits}_client_refuses)
endforeach()
set_tests_properties(${mapi_provider_tests} PROPERTIES
    ENVIRONMENT "${mapi_checks_env}"
    FIXTURES_REQUIRED "wine;mapi_provider_session"
    RESOURCE_LOCK zobrik_mapi_provider_prefix
    LABELS wine
    TIMEOUT 300)
# 77: the machine cannot run 32-bit programs (tests/wine/run-test-program.sh).
set_tests_properties(mapi_provider32_outside_session mapi_provider32_in_session mapi_provider32_client_refuses
    PROPERTIES SKIP_RETURN_CODE 77)
add_dependencies(zobrik_mapi_checks zobrik-session-host zobrik_mapi_recording ZobrikMapi)

# The export tables of both builds, and the 64-bit DLL's hardening (the
# same checks as the plug-in's).
find_program(ZOBRIK_OBJDUMP32 NAMES i686-w64-mingw32-objdump)
add_test(NAME mapi_provider64_exports
    COMMAND ${PROJECT_SOURCE_DIR}/server/mapi/tests/check-exports.sh ${ZOBRIK_OBJDUMP} ${mapi_provider64})
add_test(NAME mapi_provider32_exports
    COMMAND ${PROJECT_SOURCE_DIR}/server/mapi/tests/check-exports.sh ${ZOBRIK_OBJDUMP32} ${mapi_provider32})
add_test(NAME hardening_mapi_provider COMMAND ${PROJECT_SOURCE_DIR}/tests/check-hardening.sh
    ${ZOBRIK_OBJDUMP} ${ZOBRIK_NM} ${ZOBRIK_ADDR2LINE} ${mapi_provider64} MAPISendMailW)
