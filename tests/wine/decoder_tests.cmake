# The platform UTF-8 converter and the project's own, side by side under Wine.
add_executable(utf8_comparison_test
    ${CMAKE_CURRENT_LIST_DIR}/utf8_comparison_test.cpp
    ${PROJECT_SOURCE_DIR}/mail/posix/utf8_to_utf16.cpp
    ${PROJECT_SOURCE_DIR}/mail/win/utf8_to_utf16.cpp)
target_include_directories(utf8_comparison_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(utf8_comparison_test PRIVATE gtest gtest_main)
zobrik_add_wine_test(utf8_comparison utf8_comparison_test ALL)
