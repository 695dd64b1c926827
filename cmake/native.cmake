# Native (Linux) build of the platform-free logic: unit tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and fuzz targets.
include(cmake/warnings.cmake)

option(ZOBRIK_SANITIZE "Build the native tests with ASan and UBSan" ON)
option(ZOBRIK_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(ZOBRIK_SANITIZER_FLAGS)
if(ZOBRIK_SANITIZE)
    set(ZOBRIK_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()
if(ZOBRIK_FUZZ)
    set(ZOBRIK_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()

# compile_commands.json, for clang-tidy.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

add_library(zobrik_logic STATIC ${ZOBRIK_LOGIC_SOURCES} ${ZOBRIK_POSIX_SOURCES} ${ZOBRIK_SERVER_MAPI_LOGIC_SOURCES}
    ${ZOBRIK_SERVER_OPEN_LOGIC_SOURCES} ${ZOBRIK_SERVER_SETUP_LOGIC_SOURCES})
target_include_directories(zobrik_logic PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(zobrik_logic PUBLIC ${ZOBRIK_WARNINGS} ${ZOBRIK_SANITIZER_FLAGS})
target_link_options(zobrik_logic PUBLIC ${ZOBRIK_SANITIZER_FLAGS})
# Host names are mapped to ASCII by libidn2, as the Linux add-in maps them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(IDN2 REQUIRED IMPORTED_TARGET libidn2)
target_link_libraries(zobrik_logic PUBLIC PkgConfig::IDN2)

if(NOT ZOBRIK_FUZZ)
    find_package(GTest REQUIRED)
    file(GLOB ZOBRIK_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
    add_executable(native_tests ${ZOBRIK_NATIVE_TEST_SOURCES})
    target_include_directories(native_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/sdk)
    target_link_libraries(native_tests PRIVATE zobrik_logic GTest::gtest GTest::gtest_main)
    target_compile_definitions(native_tests PRIVATE ZOBRIK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    # The remote developer's kit on its own: its headers and nothing of the DLL.
    file(GLOB ZOBRIK_SDK_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/sdk/*_tests.cpp)
    add_executable(sdk_tests ${ZOBRIK_SDK_TEST_SOURCES})
    target_include_directories(sdk_tests PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
    target_compile_options(sdk_tests PRIVATE ${ZOBRIK_WARNINGS} ${ZOBRIK_SANITIZER_FLAGS})
    target_link_options(sdk_tests PRIVATE ${ZOBRIK_SANITIZER_FLAGS})
    target_link_libraries(sdk_tests PRIVATE GTest::gtest GTest::gtest_main)
    # Every header of the kit compiled once here as well, so that clang-tidy
    # reads them all.
    add_library(sdk_headers OBJECT ${PROJECT_SOURCE_DIR}/tests/sdk/all_sdk_headers.cpp)
    target_include_directories(sdk_headers PRIVATE ${PROJECT_SOURCE_DIR}/sdk)
    target_compile_options(sdk_headers PRIVATE ${ZOBRIK_WARNINGS})

    # One ctest entry per test case.
    include(GoogleTest)
    gtest_discover_tests(sdk_tests
        PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1" LABELS sdk)
    gtest_discover_tests(native_tests
        PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1" LABELS native)
    # The folders include each other one way only; the fixture shows that
    # the check finds each kind of violation.
    add_test(NAME layout_includes COMMAND ${PROJECT_SOURCE_DIR}/tests/layout/check-includes.sh ${PROJECT_SOURCE_DIR})
    add_test(NAME layout_includes_finds_violations
        COMMAND ${PROJECT_SOURCE_DIR}/tests/layout/check-includes.sh ${PROJECT_SOURCE_DIR}/tests/layout/climbing)
    set_tests_properties(layout_includes_finds_violations PROPERTIES PASS_REGULAR_EXPRESSION
        "exec/worker.h: includes \"plugin/slot.h\": exec/ may include only.*freerdp/addin.cpp: includes \"plugin/win/slot.h\": POSIX code may not include Windows code.*include/owners.h: includes <unistd.h>: platform-free.*include/wide_text.h: includes \"mail/request.h\".*mail/decoder.cpp: includes \"mail/win/staging.h\": platform-free code may not include Windows.*mail/decoder.cpp: includes <windows.h>.*mail/reply.cpp: includes \"include/owners.h\", which includes <unistd.h>.*mail/win/staging.h: includes \"mail/posix/files.h\": Windows code may not include POSIX.*plugin/slot.h: includes \"wide_text.h\" without its folder.*FAIL: 9 include")
    # Formatting of every tracked C++ file, and clang-tidy (.clang-tidy) on
    # the platform-free code, the POSIX layer and the kit's headers (the
    # FreeRDP frame's entry is in the Linux tree).
    find_program(ZOBRIK_CLANG_FORMAT NAMES clang-format clang-format-14 REQUIRED)
    find_program(ZOBRIK_CLANG_TIDY NAMES clang-tidy clang-tidy-14 REQUIRED)
    add_test(NAME format_check
        COMMAND ${PROJECT_SOURCE_DIR}/tests/layout/check-format.sh ${PROJECT_SOURCE_DIR} ${ZOBRIK_CLANG_FORMAT})
    set(tidy_sources ${ZOBRIK_LOGIC_SOURCES} ${ZOBRIK_POSIX_SOURCES} ${ZOBRIK_SERVER_MAPI_LOGIC_SOURCES}
        ${ZOBRIK_SERVER_OPEN_LOGIC_SOURCES} ${ZOBRIK_SERVER_SETUP_LOGIC_SOURCES} ${PROJECT_SOURCE_DIR}/tests/sdk/all_sdk_headers.cpp)
    add_test(NAME clang_tidy COMMAND ${PROJECT_SOURCE_DIR}/tests/layout/run-clang-tidy.sh ${ZOBRIK_CLANG_TIDY}
        ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${tidy_sources})
    set_tests_properties(clang_tidy PROPERTIES TIMEOUT 600)
    # The SDK's headers build warning-free at -O3 with -Werror, as remote
    # developers may build them, with GCC and with MinGW-w64.
    find_program(ZOBRIK_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
    foreach(standard 17 20)
        add_test(NAME sdk_headers_gcc_o3_cxx${standard}
            COMMAND ${CMAKE_CXX_COMPILER} -std=c++${standard} -O3 -Wall -Wextra -Wshadow -Werror
                -I${PROJECT_SOURCE_DIR}/sdk -c ${PROJECT_SOURCE_DIR}/tests/sdk/all_sdk_headers.cpp
                -o ${CMAKE_BINARY_DIR}/sdk_headers_gcc_cxx${standard}.o)
        if(ZOBRIK_MINGW_CXX)
            add_test(NAME sdk_headers_mingw_o3_cxx${standard}
                COMMAND ${ZOBRIK_MINGW_CXX} -std=c++${standard} -O3 -Wall -Wextra -Wshadow -Werror
                    -I${PROJECT_SOURCE_DIR}/sdk -c ${PROJECT_SOURCE_DIR}/tests/sdk/all_sdk_headers.cpp
                    -o ${CMAKE_BINARY_DIR}/sdk_headers_mingw_cxx${standard}.o)
        endif()
    endforeach()
    # The code examples of the remote developer's documentation compile (C
    # and C++ with MinGW-w64, C# with Mono's compiler, Python's syntax); the
    # fixture page shows that a faulty example of each kind is found.
    find_program(ZOBRIK_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc)
    find_program(ZOBRIK_MCS mcs REQUIRED)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(doc_check ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/sdk/check-doc-examples.py
        --cxx ${ZOBRIK_MINGW_CXX} --cc ${ZOBRIK_MINGW_CC} --csharp ${ZOBRIK_MCS}
        --include ${PROJECT_SOURCE_DIR}/sdk --include ${PROJECT_SOURCE_DIR}/sdk/capi)
    add_test(NAME doc_examples COMMAND ${doc_check} ${PROJECT_SOURCE_DIR}/docs/remote-applications.md)
    add_test(NAME doc_examples_finds_faults COMMAND ${doc_check} ${PROJECT_SOURCE_DIR}/tests/sdk/doc-examples-broken.md)
    set_tests_properties(doc_examples_finds_faults PROPERTIES PASS_REGULAR_EXPRESSION
        "FAIL: doc-examples-broken.md:5 \\(c\\+\\+\\).*FAIL: doc-examples-broken.md:13 \\(csharp\\).*FAIL: doc-examples-broken.md:19 \\(python\\).*ok: doc-examples-broken.md:26 \\(c\\).*FAIL: 3 failed")
    # A developer's own project finds the installed kit with
    # find_package(Zobrik) and builds natively.
    include(${PROJECT_SOURCE_DIR}/cmake/sdk_package.cmake)
    add_test(NAME sdk_consumer_native
        COMMAND ${PROJECT_SOURCE_DIR}/tests/sdk/consumer/consumer-test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
            ${CMAKE_BINARY_DIR}/sdk-consumer)
    # The URL normaliser against the URL standard's reference implementation
    # (whatwg-url from the npm registry, pinned by its lock file, run by
    # Node.js) on generated spellings.
    find_program(ZOBRIK_NODE NAMES node nodejs REQUIRED)
    find_program(ZOBRIK_NPM npm REQUIRED)
    add_executable(url_normalisation_probe ${PROJECT_SOURCE_DIR}/tests/url/url_normalisation_probe.cpp)
    target_link_libraries(url_normalisation_probe PRIVATE zobrik_logic)
    add_test(NAME url_reference_install
        COMMAND ${PROJECT_SOURCE_DIR}/tests/url/install-reference.sh ${CMAKE_BINARY_DIR}/url-reference)
    set_tests_properties(url_reference_install PROPERTIES FIXTURES_SETUP url_reference TIMEOUT 300)
    add_test(NAME url_normalisation_matches_reference
        COMMAND ${ZOBRIK_NODE} ${PROJECT_SOURCE_DIR}/tests/url/compare-with-reference.js
            $<TARGET_FILE:url_normalisation_probe> ${CMAKE_BINARY_DIR}/url-reference)
    set_tests_properties(url_normalisation_matches_reference PROPERTIES FIXTURES_REQUIRED url_reference
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
    # The administrative template is well-formed XML (its content is checked
    # against the code by native_tests).
    find_program(ZOBRIK_XMLLINT xmllint REQUIRED)
    add_test(NAME admin_template_xml COMMAND ${ZOBRIK_XMLLINT} --noout
        ${PROJECT_SOURCE_DIR}/install/policy/ZobrikWTSDVC.admx
        ${PROJECT_SOURCE_DIR}/install/policy/en-US/ZobrikWTSDVC.adml
        ${PROJECT_SOURCE_DIR}/install/policy/de-DE/ZobrikWTSDVC.adml)
endif()

if(ZOBRIK_FUZZ)
    add_subdirectory(fuzz)
endif()
