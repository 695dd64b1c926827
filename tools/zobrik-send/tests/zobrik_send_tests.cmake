# Wine tests of zobrik-send, included by tests/CMakeLists.txt after the
# client stand-in, GoogleTest and zobrik_add_wine_test.
#
# zobrik-send-test.exe is the program with a second transport that runs the
# plug-in DLL inside the process (ZOBRIK_SEND_TRANSPORT=standin); the shipped
# zobrik-send.exe does not contain it. zobrik_send_tests.exe tests the logic
# in-process and runs both programs as child processes.
get_filename_component(ZOBRIK_SEND_DIR ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(ZOBRIK_SEND_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZOBRIK_SEND_LOGIC
    ${ZOBRIK_SEND_DIR}/send_command.cpp
    ${ZOBRIK_SEND_DIR}/console_output.cpp)
set(ZOBRIK_SEND_TEST_DEFINITIONS ZOBRIK_SEND_STANDIN ZOBRIK_VERSION="${PROJECT_VERSION}")

add_executable(zobrik-send-test ${ZOBRIK_SEND_DIR}/main.cpp ${ZOBRIK_SEND_LOGIC})
target_include_directories(zobrik-send-test PRIVATE ${ZOBRIK_SEND_DIR} ${ZOBRIK_SEND_TEST_DIR} ${PROJECT_SOURCE_DIR}/sdk ${PROJECT_SOURCE_DIR})
target_compile_definitions(zobrik-send-test PRIVATE ${ZOBRIK_SEND_TEST_DEFINITIONS})
target_link_libraries(zobrik-send-test PRIVATE zobrik_client_standin wtsapi32 shell32)
add_dependencies(zobrik-send-test ZobrikWTSDVC zobrik_mapi_recording)

add_executable(zobrik_send_tests
    ${ZOBRIK_SEND_LOGIC}
    ${ZOBRIK_SEND_TEST_DIR}/send_test_support.cpp
    ${ZOBRIK_SEND_TEST_DIR}/send_logic_tests.cpp
    ${ZOBRIK_SEND_TEST_DIR}/send_standin_tests.cpp
    ${ZOBRIK_SEND_TEST_DIR}/send_exe_tests.cpp)
target_include_directories(zobrik_send_tests PRIVATE ${ZOBRIK_SEND_DIR} ${ZOBRIK_SEND_TEST_DIR} ${PROJECT_SOURCE_DIR}/sdk ${PROJECT_SOURCE_DIR})
target_compile_definitions(zobrik_send_tests PRIVATE ${ZOBRIK_SEND_TEST_DEFINITIONS})
target_link_libraries(zobrik_send_tests PRIVATE zobrik_client_standin gtest gtest_main wtsapi32 shell32)
add_dependencies(zobrik_send_tests zobrik-send zobrik-send-test ZobrikWTSDVC zobrik_mapi_recording)
if(TARGET marker_program)
    add_dependencies(zobrik_send_tests marker_program)
endif()

# The command logic against a scripted transport.
zobrik_add_wine_test(zobrik_send_logic zobrik_send_tests SUITES SendLogic)
# The command logic in-process against the real DLL in the client stand-in.
zobrik_add_wine_test(zobrik_send_standin zobrik_send_tests MAPI recording SUITES SendStandIn)
# zobrik-send.exe and zobrik-send-test.exe run as child processes.
zobrik_add_wine_test(zobrik_send_exe zobrik_send_tests MAPI recording SUITES SendExe)
