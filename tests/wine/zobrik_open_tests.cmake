# zobrik-open.exe under Wine, in a prefix of its own (the tests write the
# records of setup and ProgIDs into it): outside a session it falls back to
# the recorded previous handler, the command-line recorder.
add_executable(command_line_recorder ${ZOBRIK_WINE_TEST_DIR}/command_line_recorder.cpp)
add_executable(zobrik_open_tests ${ZOBRIK_WINE_TEST_DIR}/zobrik_open_tests.cpp)
target_link_libraries(zobrik_open_tests PRIVATE gtest gtest_main advapi32)
add_dependencies(zobrik_open_tests zobrik-open command_line_recorder)

set(ZOBRIK_OPEN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-open)
add_test(NAME wine_prefix_open
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/make-prefix.sh ${ZOBRIK_WINE64} ${ZOBRIK_WINESERVER}
        ${ZOBRIK_OPEN_WINEPREFIX})
set_tests_properties(wine_prefix_open PROPERTIES FIXTURES_SETUP wine_open TIMEOUT 300)
zobrik_add_wine_test(zobrik_open zobrik_open_tests ALL SERIAL
    ENV "WINEPREFIX=${ZOBRIK_OPEN_WINEPREFIX}" FIXTURES wine_open)
