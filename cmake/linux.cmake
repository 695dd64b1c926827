# Linux build: the FreeRDP 2 dynamic channel add-in libzobrik-client.so
# (loaded by "xfreerdp /dvc:zobrik" from FreeRDP's add-in folder), its
# end-to-end tests over RDP against the real xfreerdp, and its .deb.
include(cmake/warnings.cmake)
# GCC 12 reports std::string copies as overlapping memcpy calls at -O2
# (GCC bug 105329, a false positive fixed in GCC 13).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND ZOBRIK_WARNINGS -Wno-restrict)
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(FREERDP REQUIRED IMPORTED_TARGET freerdp2 winpr2)
# Host names in URLs are mapped to ASCII by libidn2.
pkg_check_modules(IDN2 REQUIRED IMPORTED_TARGET libidn2)
find_package(Threads REQUIRED)

# Where FreeRDP 2 looks for add-ins: <prefix>/<libdir>/freerdp2, compiled
# into libfreerdp2 (Debian: /usr/lib/x86_64-linux-gnu/freerdp2).
set(ZOBRIK_FREERDP_ADDIN_DIR lib/x86_64-linux-gnu/freerdp2 CACHE STRING "FreeRDP 2's add-in folder below /usr")

# The add-in's code once, for both libraries below.
add_library(zobrik_addin_objects OBJECT ${ZOBRIK_LOGIC_SOURCES} ${ZOBRIK_POSIX_SOURCES} ${ZOBRIK_FREERDP_SOURCES})
target_include_directories(zobrik_addin_objects PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(zobrik_addin_objects PRIVATE ${ZOBRIK_WARNINGS} -fvisibility=hidden -fvisibility-inlines-hidden)
set_target_properties(zobrik_addin_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(zobrik_addin_objects PRIVATE PkgConfig::FREERDP PkgConfig::IDN2)

# The shipped add-in: only DVCPluginEntry is exported; the C++ runtime comes
# from the system (libstdc++6, as FreeRDP's own C++ parts use it).
add_library(zobrik_freerdp_addin MODULE $<TARGET_OBJECTS:zobrik_addin_objects>)
set_target_properties(zobrik_freerdp_addin PROPERTIES OUTPUT_NAME zobrik-client PREFIX lib
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/addin)
target_link_libraries(zobrik_freerdp_addin PRIVATE PkgConfig::FREERDP PkgConfig::IDN2 Threads::Threads)
set(ZOBRIK_ADDIN_LINK_OPTIONS -Wl,--no-undefined -Wl,-z,relro,-z,now
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/freerdp/exports.map)
target_link_options(zobrik_freerdp_addin PRIVATE ${ZOBRIK_ADDIN_LINK_OPTIONS})

# The same add-in for the tests, named as FreeRDP opens it: with LD_PRELOAD
# the already loaded library answers FreeRDP's dlopen of the installed path,
# so xfreerdp loads it from the build tree without installing anything.
add_library(zobrik_freerdp_addin_preload MODULE $<TARGET_OBJECTS:zobrik_addin_objects>)
set_target_properties(zobrik_freerdp_addin_preload PROPERTIES OUTPUT_NAME zobrik-client PREFIX lib
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-addin)
target_link_libraries(zobrik_freerdp_addin_preload PRIVATE PkgConfig::FREERDP PkgConfig::IDN2 Threads::Threads)
target_link_options(zobrik_freerdp_addin_preload PRIVATE ${ZOBRIK_ADDIN_LINK_OPTIONS}
    -Wl,-soname,/usr/${ZOBRIK_FREERDP_ADDIN_DIR}/libzobrik-client.so)

enable_testing()
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/freerdp/CMakeLists.txt)
    add_subdirectory(tests/freerdp)
endif()

# clang-tidy (.clang-tidy) on the FreeRDP frame, which builds only here.
find_program(ZOBRIK_CLANG_TIDY NAMES clang-tidy clang-tidy-14 REQUIRED)
# (clang does not know GCC's -Wno-restrict, which this tree adds.)
add_test(NAME clang_tidy_freerdp COMMAND ${ZOBRIK_CLANG_TIDY} -p ${CMAKE_BINARY_DIR} --quiet
    --extra-arg=-Wno-unknown-warning-option ${ZOBRIK_FREERDP_SOURCES})
set_tests_properties(clang_tidy_freerdp PROPERTIES TIMEOUT 300)

# The .deb (cpack in build/linux): the add-in where FreeRDP 2 finds it, the
# documentation and an example policy.
install(TARGETS zobrik_freerdp_addin LIBRARY DESTINATION ${ZOBRIK_FREERDP_ADDIN_DIR} COMPONENT addin)
install(FILES ${PROJECT_SOURCE_DIR}/docs/linux.md ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION share/doc/zobrik-freerdp COMPONENT addin)
install(FILES ${PROJECT_SOURCE_DIR}/install/linux/wtsdvc.conf.example
    DESTINATION share/doc/zobrik-freerdp/examples COMPONENT addin)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zobrik-freerdp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Zobrik)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zobrik/exec and Zobrik/mail channels for FreeRDP 2 clients (xfreerdp /dvc:zobrik)")
set(CPACK_PACKAGE_DESCRIPTION "FreeRDP 2 dynamic channel add-in: applications in the remote session open paths and addresses on this computer (xdg-open) and hand mails with attachments to its mail program (xdg-email).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zobrik <support@zobrik.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, freerdp2-x11 | libfreerdp-client2-2")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)

# The package holds the add-in built here, in FreeRDP's folder, and its
# documents, and depends on what the add-in needs.
add_test(NAME deb_package COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_deb_package.sh
    ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR} $<TARGET_FILE:zobrik_freerdp_addin> /usr/${ZOBRIK_FREERDP_ADDIN_DIR})
set_tests_properties(deb_package PROPERTIES TIMEOUT 120)
