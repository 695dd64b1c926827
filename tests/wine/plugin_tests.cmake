# Wine tests of the plug-in frame and the exec channel, run against the real
# DLL in the client stand-in.
set(ZOBRIK_WINE_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/wine)

add_executable(marker_program ${ZOBRIK_WINE_TEST_DIR}/marker_program.cpp)
set_target_properties(marker_program PROPERTIES OUTPUT_NAME marker)
target_compile_definitions(marker_program PRIVATE UNICODE _UNICODE)
target_compile_options(marker_program PRIVATE ${ZOBRIK_WARNINGS})
target_link_options(marker_program PRIVATE ${ZOBRIK_STATIC_RUNTIME})

add_executable(plugin_tests
    ${ZOBRIK_WINE_TEST_DIR}/test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/factory_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/plugin_object_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/exec_channel_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_channel_tests.cpp
    ${ZOBRIK_WINE_TEST_DIR}/channel_race_tests.cpp)
target_compile_definitions(plugin_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
target_compile_options(plugin_tests PRIVATE ${ZOBRIK_WARNINGS})
target_link_options(plugin_tests PRIVATE ${ZOBRIK_STATIC_RUNTIME})
target_link_libraries(plugin_tests PRIVATE zobrik_client_standin gtest gtest_main shell32)
add_dependencies(plugin_tests ZobrikWTSDVC marker_program zobrik_mapi_recording zobrik_mapi_nosend)

set(ZOBRIK_MAPI_RECORDING "WINEDLLOVERRIDES=mapi32=n" "ZOBRIK_MAPI_DIR=Z:${CMAKE_BINARY_DIR}/bin/mapi-recording")
zobrik_add_wine_test(plugin_mapi_present plugin_tests
    ARGS --gtest_filter=-MapiAbsent*:MapiNoSend*:Lifecycle*
    ENV ${ZOBRIK_MAPI_RECORDING})
zobrik_add_wine_test(plugin_mapi_absent plugin_tests
    ARGS --gtest_filter=MapiAbsent*
    ENV "WINEDLLOVERRIDES=mapi32=")
zobrik_add_wine_test(plugin_mapi_without_send plugin_tests
    ARGS --gtest_filter=MapiNoSend*
    ENV "WINEDLLOVERRIDES=mapi32=n" "ZOBRIK_MAPI_DIR=Z:${CMAKE_BINARY_DIR}/bin/mapi-nosend")
zobrik_add_wine_test(plugin_mapi_wine plugin_tests
    ARGS --gtest_filter=MapiPresentFactory.*)
zobrik_add_wine_test(plugin_lifecycle plugin_tests
    ARGS --gtest_filter=Lifecycle*
    ENV ${ZOBRIK_MAPI_RECORDING})

# Mail requests end to end with the recording Simple MAPI stand-in.
add_executable(mail_tests
    ${ZOBRIK_WINE_TEST_DIR}/test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_pipeline_tests.cpp)
target_include_directories(mail_tests PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
target_compile_definitions(mail_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
target_compile_options(mail_tests PRIVATE ${ZOBRIK_WARNINGS})
target_link_options(mail_tests PRIVATE ${ZOBRIK_STATIC_RUNTIME})
target_link_libraries(mail_tests PRIVATE zobrik_client_standin gtest gtest_main shell32)
add_dependencies(mail_tests ZobrikWTSDVC zobrik_mapi_recording)
zobrik_add_wine_test(mail_pipeline mail_tests ENV ${ZOBRIK_MAPI_RECORDING})

# The same channel with Wine's own mapi32, passing mails on to xdg-email.
add_executable(wine_mapi_tests
    ${ZOBRIK_WINE_TEST_DIR}/test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/mail_test_support.cpp
    ${ZOBRIK_WINE_TEST_DIR}/wine_mapi_tests.cpp)
target_include_directories(wine_mapi_tests PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
target_compile_definitions(wine_mapi_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
target_compile_options(wine_mapi_tests PRIVATE ${ZOBRIK_WARNINGS})
target_link_options(wine_mapi_tests PRIVATE ${ZOBRIK_STATIC_RUNTIME})
target_link_libraries(wine_mapi_tests PRIVATE zobrik_client_standin gtest gtest_main shell32)
add_dependencies(wine_mapi_tests ZobrikWTSDVC)
zobrik_add_wine_test(mail_wine_mapi wine_mapi_tests
    ENV "PATH=${ZOBRIK_WINE_TEST_DIR}/desktop:$ENV{PATH}"
        "ZOBRIK_XDG_EMAIL_LOG=${CMAKE_BINARY_DIR}/xdg-email.log")
