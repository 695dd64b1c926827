# zobrik-open.exe under Wine, in a prefix of its own (the tests write the
# records of setup and ProgIDs into it, one entry at a time): outside a
# session it falls back to the recorded previous handler, the command-line
# recorder; in a test session (tests/wine/session_tests.cmake) it forwards to
# the client's plug-in.
add_executable(command_line_recorder ${ZOBRIK_WINE_TEST_DIR}/command_line_recorder.cpp)
add_executable(zobrik_open_tests ${ZOBRIK_WINE_TEST_DIR}/zobrik_open_tests.cpp)
target_link_libraries(zobrik_open_tests PRIVATE gtest gtest_main advapi32)
target_link_libraries(zobrik_open_tests PRIVATE shell32)
add_dependencies(zobrik_open_tests zobrik-open command_line_recorder)

set(ZOBRIK_OPEN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-open)
add_test(NAME wine_prefix_open
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER}
        ${ZOBRIK_OPEN_WINEPREFIX})
set_tests_properties(wine_prefix_open PROPERTIES FIXTURES_SETUP wine_open TIMEOUT 300)
zobrik_copy_wine_template(wine_prefix_open)
zobrik_add_wine_test(zobrik_open zobrik_open_tests SUITES ZobrikOpenOutsideSession
    ENV "WINEPREFIX=${ZOBRIK_OPEN_WINEPREFIX}" FIXTURES wine_open)
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK zobrik_open_prefix)

zobrik_session_prefix_fixture(open_session ${ZOBRIK_OPEN_WINEPREFIX} wine_open)
zobrik_add_session_test(zobrik_open_session zobrik_open_tests SUITES ZobrikOpenInSession
    PREFIX ${ZOBRIK_OPEN_WINEPREFIX} PREFIX_FIXTURE open_session)
set_tests_properties(${ZOBRIK_LAST_WINE_TESTS} PROPERTIES RESOURCE_LOCK zobrik_open_prefix)

# Shipped like zobrik-send.exe: hardened, stripped, system imports only.
add_test(NAME hardening_open_tool COMMAND ${PROJECT_SOURCE_DIR}/tests/check-hardening.sh
    ${ZOBRIK_OBJDUMP} ${ZOBRIK_NM} ${ZOBRIK_ADDR2LINE} $<TARGET_FILE:zobrik-open> WinMain)
