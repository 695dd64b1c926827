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
zobrik_copy_wine_template(policy_prefix)
# A network drive, N:, for the network path setting; a CD-ROM drive, R:, and
# a removable one, S:, both leading to C:.
add_test(NAME policy_prefix_network_drive
    COMMAND ${ZOBRIK_WINE_TEST_DIR}/add-network-drive.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${ZOBRIK_POLICY_WINEPREFIX})
set_tests_properties(policy_prefix_network_drive PROPERTIES
    FIXTURES_REQUIRED wine FIXTURES_SETUP policy DEPENDS policy_prefix TIMEOUT 120)

zobrik_add_plugin_test_program(policy_tests ${ZOBRIK_WINE_TEST_DIR}/policy_tests.cpp)
target_link_libraries(policy_tests PRIVATE zobrik_outlook_standin_client)
target_include_directories(policy_tests PRIVATE ${PROJECT_SOURCE_DIR})
# All of them write into the one prefix's registry, so they run one at a time.
zobrik_add_outlook_test(policy policy_tests XVFB MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX} PREFIX_FIXTURE policy
    SUITES Policy PolicyOutlookRoute)
set(on_display ${ZOBRIK_LAST_WINE_TESTS})
zobrik_add_outlook_test(policy_without_display policy_tests MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX} PREFIX_FIXTURE policy
    SUITES PolicyWithoutDisplay)
set_tests_properties(${on_display} ${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK zobrik_policy_prefix)
# The display-less cases come last, so they never meet a desktop process
# that a virtual display started.
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES DEPENDS "${on_display}")

# The staging checks through the CD-ROM and removable drives of this prefix.
zobrik_add_outlook_test(policy_local_drives plugin_tests MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX}
    PREFIX_FIXTURE policy SUITES ExecLocalDrives)
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK zobrik_policy_prefix DEPENDS "${on_display}")

# The stress program's idle-time cases shorten the idle time by policy (to
# seconds, where the built-in two minutes would hold the suite), so they run
# in this prefix as well, never beside a case that writes the policy.
zobrik_add_outlook_test(stress_idle stress_tests MAPI recording PREFIX ${ZOBRIK_POLICY_WINEPREFIX} PREFIX_FIXTURE policy
    CASES Stress.StalledRequestsAreAnsweredAndGiveTheBudgetBack Stress.AShorterIdleTimeShortensTheSweepAlreadyRunning)
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK "stress;zobrik_policy_prefix"
    DEPENDS "${on_display}")

# Every example of docs/administrators.md as it stands: the registry files
# saved as the page tells, imported with Wine's "reg import" and read by the
# real DLL's policy reader; the PowerShell examples checked as text.
add_executable(policy_reader_check ${ZOBRIK_WINE_TEST_DIR}/policy_reader_check.cpp)
target_link_options(policy_reader_check PRIVATE -municode)
target_link_libraries(policy_reader_check PRIVATE zobrik_client_standin)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME admin_doc_examples
    COMMAND ${Python3_EXECUTABLE} ${ZOBRIK_WINE_TEST_DIR}/admin_doc_examples_test.py
        ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER} ${CMAKE_BINARY_DIR}/wineprefix-doc-examples
        $<TARGET_FILE:policy_reader_check> $<TARGET_FILE:ZobrikWTSDVC> ${PROJECT_SOURCE_DIR}/include/admin_policy.h
        ${PROJECT_SOURCE_DIR}/docs/administrators.md ${CMAKE_BINARY_DIR}/doc-examples)
set_tests_properties(admin_doc_examples PROPERTIES TIMEOUT 300 LABELS "wine;docs")
zobrik_copy_wine_template(admin_doc_examples)
