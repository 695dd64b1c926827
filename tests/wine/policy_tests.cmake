# The administrator's policy through the real DLL. The tests write policy
# values into HKLM and HKCU, so they have a Wine prefix of their own (with the
# Outlook and the recording Simple MAPI stand-ins, as the Outlook prefix) and
# run on a virtual display, where the confirmation box can be answered.
set(ZOBRIK_POLICY_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-policy)
add_test(NAME policy_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/tests/outlook/make-outlook-prefix.sh
        ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${ZOBRIK_POLICY_WINEPREFIX} $<TARGET_FILE:zobrik_outlook_standin>
        $<TARGET_FILE:zobrik_mapi_recording>)
set_tests_properties(policy_prefix PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP policy TIMEOUT 300)

zobrik_add_plugin_test_program(policy_tests ${ZOBRIK_WINE_TEST_DIR}/policy_tests.cpp)
target_link_libraries(policy_tests PRIVATE zobrik_outlook_standin_client)
zobrik_add_outlook_test(policy policy_tests XVFB MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX} policy
    ARGS --gtest_filter=-PolicyWithoutDisplay.*)
zobrik_add_outlook_test(policy_without_display policy_tests MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX} policy
    ARGS --gtest_filter=PolicyWithoutDisplay.*)
# Both write into the one prefix's registry.
set_tests_properties(policy policy_without_display PROPERTIES RESOURCE_LOCK zobrik_policy_prefix)
# The display-less run comes second, so it never meets a desktop process
# that the virtual display started.
set_tests_properties(policy_without_display PROPERTIES DEPENDS policy)
