# Test sessions under Wine: the prefix fixtures that install the stand-ins
# (the recording Simple MAPI stand-in for the client side, the stand-in
# wtsapi32.dll in both system directories for the session side), and the
# tests of the session transport through them. Included by
# tests/CMakeLists.txt after the stand-ins, zobrik-send and the C interface.
set(ZOBRIK_WTSAPI32_STANDIN32 ${ZOBRIK_WIN32_BIN}/wtsapi32/wtsapi32.dll)

# zobrik_session_prefix_fixture(<fixture> <prefix> <fixture the prefix needs>)
# Installs both stand-ins into <prefix> at every run (a rebuilt stand-in
# always reaches it); zobrik_add_session_test(... PREFIX <prefix>
# PREFIX_FIXTURE <fixture>) then runs there.
function(zobrik_session_prefix_fixture fixture prefix needs)
    add_test(NAME ${fixture}_mapi
        COMMAND ${ZOBRIK_INSTALL_MAPI_STANDIN} ${prefix} $<TARGET_FILE:zobrik_mapi_recording>)
    add_test(NAME ${fixture}_wtsapi32
        COMMAND ${ZOBRIK_INSTALL_WTSAPI32_STANDIN} ${prefix} $<TARGET_FILE:zobrik_wtsapi32_standin>
            ${ZOBRIK_WTSAPI32_STANDIN32})
    set_tests_properties(${fixture}_mapi ${fixture}_wtsapi32 PROPERTIES
        FIXTURES_REQUIRED ${needs} FIXTURES_SETUP ${fixture} TIMEOUT 60)
endfunction()

zobrik_session_prefix_fixture(wine_session ${ZOBRIK_SESSION_WINEPREFIX} wine)

add_executable(session_channel_tests
    ${ZOBRIK_WINE_TEST_DIR}/session_channel_tests.cpp
    ${ZOBRIK_SEND_LOGIC}
    ${ZOBRIK_SEND_TEST_DIR}/send_test_support.cpp)
target_include_directories(session_channel_tests PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/standins/wtsapi32 ${ZOBRIK_SEND_DIR} ${ZOBRIK_SEND_TEST_DIR})
target_compile_definitions(session_channel_tests PRIVATE ${ZOBRIK_SEND_TEST_DEFINITIONS})
target_link_libraries(session_channel_tests PRIVATE zobrik_client_standin zobrik_remote gtest gtest_main wtsapi32 shell32)
add_dependencies(session_channel_tests zobrik-send marker_program zobrik_wtsapi32_standin)

zobrik_add_session_test(session_channel session_channel_tests ALL EXCLUDE
    SessionPolicy.TheMailChannelSwitchedOffIsNotAvailableEverywhere)

# The plug-in's policy is read when the host starts it, from the prefix's
# registry: this host writes it in the policy prefix, which its tests hold
# one at a time.
zobrik_session_prefix_fixture(policy_session ${ZOBRIK_POLICY_WINEPREFIX} policy)
zobrik_add_session_test(session_policy session_channel_tests SUITES SessionPolicy
    PREFIX ${ZOBRIK_POLICY_WINEPREFIX} PREFIX_FIXTURE policy_session HOST_ARGS --policy MailChannel=0)
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK zobrik_policy_prefix)

# A 32-bit program of the 32-bit tree in a session: the SDK's transport
# through the 32-bit stand-in wtsapi32.dll. The mail it sends must reach the
# client's mail program.
add_test(NAME session_32bit_program
    COMMAND ${ZOBRIK_RUN_IN_SESSION} ${ZOBRIK_WINE64} $<TARGET_FILE:zobrik-session-host> --
        ${ZOBRIK_WINE_TEST_DIR}/session32/run-probe.sh ${ZOBRIK_RUN_TEST_PROGRAM} ${ZOBRIK_WINE64}
        ${ZOBRIK_WIN32_BIN}/zobrik_session32_probe.exe $<TARGET_FILE:marker_program>)
set_tests_properties(session_32bit_program PROPERTIES
    FIXTURES_REQUIRED "wine;wine_session" TIMEOUT 300 LABELS wine SKIP_RETURN_CODE 77
    ENVIRONMENT "${ZOBRIK_WINE_ENV};WINEPREFIX=${ZOBRIK_SESSION_WINEPREFIX}")
