# Wine tests of the plug-in frame and the exec channel, run against the real
# DLL in the client stand-in.
set(ZOBRIK_WINE_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/wine)

add_executable(marker_program ${ZOBRIK_WINE_TEST_DIR}/marker_program.cpp)
set_target_properties(marker_program PROPERTIES OUTPUT_NAME marker)

# Helpers shared by the test programs of the plug-in.
add_library(zobrik_wine_test_support STATIC
    ${ZOBRIK_WINE_TEST_DIR}/test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_test_support.cpp)
target_include_directories(zobrik_wine_test_support PUBLIC ${ZOBRIK_WINE_TEST_DIR} ${PROJECT_SOURCE_DIR}/sdk)
target_link_libraries(zobrik_wine_test_support PUBLIC zobrik_client_standin gtest gtest_main shell32)

# zobrik_add_plugin_test_program(<target> <sources>...): a gtest program that
# drives the real DLL through the client stand-in.
function(zobrik_add_plugin_test_program target)
    add_executable(${target} ${ARGN})
    target_link_libraries(${target} PRIVATE zobrik_wine_test_support)
    add_dependencies(${target} ZobrikWTSDVC marker_program zobrik_mapi_recording zobrik_mapi_nosend)
endfunction()

zobrik_add_plugin_test_program(plugin_tests
    ${ZOBRIK_WINE_TEST_DIR}/factory_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/plugin_object_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/exec_channel_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/exec_utf8_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_channel_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/channel_race_tests.cpp)
target_link_libraries(plugin_tests PRIVATE iphlpapi)  # the machine's own addresses

# Simple MAPI per entry (zobrik_mapi_test_settings): the recording stand-in,
# none, the stand-in without MAPISendMailW, Wine's own.
zobrik_add_wine_test(plugin_mapi_present plugin_tests MAPI recording
    SUITES MapiPresentFactory MapiPresentPlugin MapiPresentChannelRace
           ExecChannel ExecVerb ExecRefusal ExecSchemes ExecStaging ExecUtf8 MailChannel)
# Shares of this machine in the recording prefix (tests/wine/add-own-shares.sh).
add_test(NAME wine_prefix_own_shares
    COMMAND ${ZOBRIK_WINE_TEST_DIR}/add-own-shares.sh ${CMAKE_BINARY_DIR}/wineprefix-mapi-recording)
set_tests_properties(wine_prefix_own_shares PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP wine_own_shares TIMEOUT 60)
zobrik_add_wine_test(plugin_own_shares plugin_tests MAPI recording SUITES ExecOwnShares
    FIXTURES wine wine_mapi_recording wine_own_shares)
zobrik_add_wine_test(plugin_mapi_absent plugin_tests MAPI none SUITES MapiAbsentFactory)
zobrik_add_wine_test(plugin_mapi_without_send plugin_tests MAPI nosend SUITES MapiNoSendFactory)
zobrik_add_wine_test(plugin_mapi_wine plugin_tests SUITES MapiPresentFactory)
zobrik_add_wine_test(plugin_lifecycle plugin_tests MAPI recording SUITES Lifecycle)

# Mail requests end to end with the recording Simple MAPI stand-in.
zobrik_add_plugin_test_program(mail_tests
    ${ZOBRIK_WINE_TEST_DIR}/mail_pipeline_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/hostile_mail_tests.cpp)
zobrik_add_wine_test(mail_pipeline mail_tests MAPI recording ALL)

# The same channel with Wine's own mapi32, passing mails on to xdg-email.
zobrik_add_plugin_test_program(wine_mapi_tests ${ZOBRIK_WINE_TEST_DIR}/wine_mapi_tests.cpp)
zobrik_add_wine_test(mail_wine_mapi wine_mapi_tests ALL SERIAL
    ENV "PATH=${ZOBRIK_WINE_TEST_DIR}/desktop:$ENV{PATH}"
        "ZOBRIK_XDG_EMAIL_LOG=${CMAKE_BINARY_DIR}/xdg-email.log")

# The limits on workers and waiting requests, with the recording Simple MAPI
# stand-in holding hand-overs as open compose windows do.
zobrik_add_plugin_test_program(worker_limit_tests ${ZOBRIK_WINE_TEST_DIR}/worker_limit_tests.cpp)
target_include_directories(worker_limit_tests PRIVATE ${PROJECT_SOURCE_DIR})
zobrik_add_wine_test(worker_limits worker_limit_tests MAPI recording ALL)

# Many requests at once, with the recording Simple MAPI stand-in.
zobrik_add_plugin_test_program(stress_tests ${ZOBRIK_WINE_TEST_DIR}/stress_tests.cpp)
target_link_libraries(stress_tests PRIVATE psapi)
target_include_directories(stress_tests PRIVATE ${PROJECT_SOURCE_DIR})
# The idle-time cases write the policy: they run in the policy prefix
# (policy_tests.cmake).
zobrik_add_wine_test(stress stress_tests MAPI recording ALL SERIAL TIMEOUT 600
    EXCLUDE Stress.StalledRequestsAreAnsweredAndGiveTheBudgetBack Stress.AShorterIdleTimeShortensTheSweepAlreadyRunning)

# Platform faults while mails are served; the disk-full case runs with a
# small tmpfs behind the temp folder (skipped where none can be mounted).
zobrik_add_plugin_test_program(fault_tests ${ZOBRIK_WINE_TEST_DIR}/fault_tests.cpp)
zobrik_add_wine_test(faults fault_tests MAPI recording ALL
    EXCLUDE Faults.DiskFullIsRefusedBeforeWriting Faults.StagingDirectoryThatIsALinkIsNeverUsed)
set(ZOBRIK_SMALL_DISK ${CMAKE_BINARY_DIR}/small-disk)
add_test(NAME faults_disk_full
    COMMAND ${ZOBRIK_WINE_TEST_DIR}/with-small-disk.sh ${ZOBRIK_SMALL_DISK} 1m
            ${ZOBRIK_RUN_TEST_PROGRAM} ${ZOBRIK_WINE64} $<TARGET_FILE:fault_tests>
            --gtest_filter=Faults.DiskFullIsRefusedBeforeWriting)
zobrik_mark_wine_cases(fault_tests Faults.DiskFullIsRefusedBeforeWriting)
zobrik_mapi_test_settings(recording recording_env recording_fixtures)
set_tests_properties(faults_disk_full PROPERTIES
    FIXTURES_REQUIRED "${recording_fixtures}" TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "${ZOBRIK_WINE_ENV};${recording_env};ZOBRIK_SMALL_DISK=${ZOBRIK_SMALL_DISK}")
# The staging directory's name taken by a symbolic link, made by the script.
set(ZOBRIK_LINKED_STAGING ${CMAKE_BINARY_DIR}/linked-staging)
add_test(NAME faults_linked_staging
    COMMAND ${ZOBRIK_WINE_TEST_DIR}/with-linked-staging.sh ${ZOBRIK_LINKED_STAGING}
            ${ZOBRIK_RUN_TEST_PROGRAM} ${ZOBRIK_WINE64} $<TARGET_FILE:fault_tests>
            --gtest_filter=Faults.StagingDirectoryThatIsALinkIsNeverUsed)
zobrik_mark_wine_cases(fault_tests Faults.StagingDirectoryThatIsALinkIsNeverUsed)
set_tests_properties(faults_linked_staging PROPERTIES
    FIXTURES_REQUIRED "${recording_fixtures}" TIMEOUT 300
    ENVIRONMENT "${ZOBRIK_WINE_ENV};${recording_env};ZOBRIK_LINKED_STAGING=${ZOBRIK_LINKED_STAGING}")

# DLL planting: MAPI32.dll copies beside the test program (bin/planting), in
# its current directory, its DLL directory and on PATH. The plug-in must bind
# the system directory's MAPI32 (the recording stand-in) and load none of
# them, and must not take one for a system MAPI32 without MAPISendMailW;
# planting_marks checks that each copy is in place and marks its loads.
add_executable(planting_tests ${ZOBRIK_WINE_TEST_DIR}/planting_tests.cpp)
set_target_properties(planting_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/planting)
target_link_libraries(planting_tests PRIVATE zobrik_wine_test_support psapi)
add_dependencies(planting_tests ZobrikWTSDVC zobrik_mapi_recording zobrik_mapi_nosend zobrik_mapi_planted)
zobrik_add_wine_test(planting_refused planting_tests MAPI recording SUITES Planting)
zobrik_add_wine_test(planting_refused_without_send_entry planting_tests MAPI nosend
    SUITES PlantingWithoutSystemSendEntry)
zobrik_add_wine_test(planting_marks planting_tests MAPI recording SUITES PlantedCopy)

# The check above on itself: a program that crashes, one that quits before
# GoogleTest's summary and a filter that runs nothing must each fail it.
add_executable(crash_probe ${ZOBRIK_WINE_TEST_DIR}/crash_probe.cpp)
target_link_libraries(crash_probe PRIVATE gtest gtest_main)
zobrik_add_wine_test(test_check_passes_a_full_run crash_probe ARGS --gtest_filter=CrashProbe.Passes)
foreach(case CrashesOnAnAccessViolation QuitsBeforeTheSummary)
    zobrik_add_wine_test(test_check_fails_${case} crash_probe ARGS --gtest_filter=CrashProbe.Passes:CrashProbe.${case})
    set_tests_properties(test_check_fails_${case} PROPERTIES
        PASS_REGULAR_EXPRESSION "run-test-program: FAIL: the program ended before GoogleTest's summary")
endforeach()
zobrik_add_wine_test(test_check_fails_an_empty_run crash_probe ARGS --gtest_filter=NoSuchTest.*)
set_tests_properties(test_check_fails_an_empty_run PROPERTIES
    PASS_REGULAR_EXPRESSION "run-test-program: FAIL: no test ran")

# The event log: the DLL's message table, and what the real DLL writes with
# the source registered and without it (expect-events.sh reads Wine's trace
# of ReportEventW). They change HKLM of the recording prefix, one at a time.
zobrik_add_plugin_test_program(event_log_tests ${ZOBRIK_WINE_TEST_DIR}/event_log_tests.cpp)
target_include_directories(event_log_tests PRIVATE ${PROJECT_SOURCE_DIR})
zobrik_add_wine_test(event_log_messages event_log_tests MAPI recording SUITES EventLogMessages)
zobrik_mapi_test_settings(recording event_log_env event_log_fixtures)
set(event_log_run ${ZOBRIK_WINE_TEST_DIR}/expect-events.sh)
set(event_log_program ${ZOBRIK_RUN_TEST_PROGRAM} ${ZOBRIK_WINE64} $<TARGET_FILE:event_log_tests>)
add_test(NAME event_log_writes.registered COMMAND ${event_log_run}
    --line [[fixme:advapi:ReportEventW \([0-9A-Fa-f]+,0x0002,0x0001,0x00000064,]]
    --line [[warn:eventlog:ReportEventW L"scheme ms-msdt: is not allowed"]]
    --line [[warn:eventlog:ReportEventW L"ms-msdt:/id zobrik-event .ff051.ff05.ff051234.fffd.31m"]]
    --line [[warn:eventlog:ReportEventW L"ms-msdt:/id zobrik-caf.00e9-.20ac"]]
    --none [[zobrik-event %1]]
    --at-most 10 [[ReportEventW L"search-ms:zobrik-flood"]]
    --at-most 12 [[fixme:advapi:ReportEventW]]
    -- ${event_log_program} --gtest_filter=EventLogWrites.RefusalsReachTheLogSanitisedAndRateLimited)
add_test(NAME event_log_writes.unregistered COMMAND ${event_log_run} --none ReportEventW
    -- ${event_log_program} --gtest_filter=EventLogWrites.NothingIsWrittenWithoutTheRegisteredSource)
add_test(NAME event_log_writes.shell_failure COMMAND ${event_log_run}
    --line [[fixme:advapi:ReportEventW \([0-9A-Fa-f]+,0x0001,0x0001,0x00000190,]]
    --line [[err:eventlog:ReportEventW L"the shell"]]
    --line [[err:eventlog:ReportEventW L"ShellExecute returned 2 for C:..zobrik-none..shell-failure-event.txt"]]
    --line [[err:eventlog:ReportEventW L"ShellExecute returned [0-9]+ for C:..zobrik-none..l{212}.2026"]]
    --at-most 2 [[fixme:advapi:ReportEventW]]
    -- ${event_log_program} --gtest_filter=EventLogWrites.ShellFailureIsAnExecError)
set_tests_properties(event_log_writes.registered event_log_writes.unregistered event_log_writes.shell_failure PROPERTIES
    FIXTURES_REQUIRED "${event_log_fixtures}" TIMEOUT 300 LABELS "wine;event_log"
    ENVIRONMENT "${ZOBRIK_WINE_ENV};${event_log_env}" RESOURCE_LOCK zobrik_event_source)
zobrik_mark_wine_cases(event_log_tests EventLogWrites.RefusalsReachTheLogSanitisedAndRateLimited
    EventLogWrites.NothingIsWrittenWithoutTheRegisteredSource EventLogWrites.ShellFailureIsAnExecError)
