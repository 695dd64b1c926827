# Linux build: the dynamic channel add-in libzobrik-client.so for FreeRDP 2
# ("xfreerdp /dvc:zobrik") and for FreeRDP 3 ("xfreerdp3 /dvc:zobrik"), each
# from the same core and the same frame (freerdp/), compiled against that
# version's headers; their end-to-end tests over RDP against the real
# clients; and one .deb for each.
include(cmake/warnings.cmake)
# GCC 12 reports std::string copies as overlapping memcpy calls at -O2
# (GCC bug 105329, a false positive fixed in GCC 13).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND ZOBRIK_WARNINGS -Wno-restrict)
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(FREERDP2 REQUIRED IMPORTED_TARGET freerdp2 winpr2)
pkg_check_modules(FREERDP3 REQUIRED IMPORTED_TARGET freerdp3 winpr3)
# Host names in URLs are mapped to ASCII by libidn2.
pkg_check_modules(IDN2 REQUIRED IMPORTED_TARGET libidn2)
find_package(Threads REQUIRED)

# Where each FreeRDP looks for add-ins: <prefix>/<libdir>/freerdp<major>,
# compiled into libfreerdp<major> (Debian: /usr/lib/x86_64-linux-gnu/freerdp2
# and .../freerdp3).
set(ZOBRIK_FREERDP2_ADDIN_DIR lib/x86_64-linux-gnu/freerdp2 CACHE STRING "FreeRDP 2's add-in folder below /usr")
set(ZOBRIK_FREERDP3_ADDIN_DIR lib/x86_64-linux-gnu/freerdp3 CACHE STRING "FreeRDP 3's add-in folder below /usr")

# The core (platform-free logic and the POSIX layer) uses no FreeRDP header:
# compiled once for both add-ins.
add_library(zobrik_linux_core_objects OBJECT ${ZOBRIK_LOGIC_SOURCES} ${ZOBRIK_POSIX_SOURCES})
target_include_directories(zobrik_linux_core_objects PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(zobrik_linux_core_objects PRIVATE ${ZOBRIK_WARNINGS} -fvisibility=hidden
    -fvisibility-inlines-hidden)
set_target_properties(zobrik_linux_core_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(zobrik_linux_core_objects PRIVATE PkgConfig::IDN2)

set(ZOBRIK_ADDIN_LINK_OPTIONS -Wl,--no-undefined -Wl,-z,relro,-z,now
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/freerdp/exports.map)

# zobrik_freerdp_addin(<major>): for FreeRDP <major>, the frame's objects,
# the shipped add-in zobrik_freerdp<major>_addin (build/linux/freerdp<major>/
# addin; only DVCPluginEntry exported, the C++ runtime from the system) and
# the test copy zobrik_freerdp<major>_addin_preload (build/linux/
# freerdp<major>/test-addin), named as FreeRDP opens it: with LD_PRELOAD the
# already loaded library answers FreeRDP's dlopen of the installed path, so
# the client loads it from the build tree without installing anything.
function(zobrik_freerdp_addin major)
    set(frame zobrik_freerdp${major}_frame_objects)
    add_library(${frame} OBJECT ${ZOBRIK_FREERDP_SOURCES})
    target_include_directories(${frame} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${frame} PRIVATE ${ZOBRIK_WARNINGS} -fvisibility=hidden -fvisibility-inlines-hidden)
    set_target_properties(${frame} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_libraries(${frame} PRIVATE PkgConfig::FREERDP${major})
    foreach(kind addin test-addin)
        set(target zobrik_freerdp${major}_addin)
        if(kind STREQUAL test-addin)
            set(target zobrik_freerdp${major}_addin_preload)
        endif()
        add_library(${target} MODULE $<TARGET_OBJECTS:zobrik_linux_core_objects> $<TARGET_OBJECTS:${frame}>)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME zobrik-client PREFIX lib
            LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/freerdp${major}/${kind})
        target_link_libraries(${target} PRIVATE PkgConfig::FREERDP${major} PkgConfig::IDN2 Threads::Threads)
        target_link_options(${target} PRIVATE ${ZOBRIK_ADDIN_LINK_OPTIONS})
    endforeach()
    target_link_options(zobrik_freerdp${major}_addin_preload PRIVATE
        -Wl,-soname,/usr/${ZOBRIK_FREERDP${major}_ADDIN_DIR}/libzobrik-client.so)
endfunction()
zobrik_freerdp_addin(2)
zobrik_freerdp_addin(3)

enable_testing()
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/freerdp/CMakeLists.txt)
    add_subdirectory(tests/freerdp)
endif()

# clang-tidy (.clang-tidy) on the FreeRDP frame, which builds only here.
find_program(ZOBRIK_CLANG_TIDY NAMES clang-tidy clang-tidy-14 REQUIRED)
add_test(NAME clang_tidy_freerdp COMMAND ${PROJECT_SOURCE_DIR}/tests/layout/run-clang-tidy.sh ${ZOBRIK_CLANG_TIDY}
    ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${ZOBRIK_FREERDP_SOURCES})
set_tests_properties(clang_tidy_freerdp PROPERTIES TIMEOUT 300)

# The .debs (cpack in build/linux), one per FreeRDP version, installable side
# by side: zobrik-freerdp (FreeRDP 2) and zobrik-freerdp3 (FreeRDP 3), each
# with its add-in where its FreeRDP finds it, the documentation and an
# example policy in its own documentation folder.
foreach(major 2 3)
    set(component freerdp${major})
    set(package zobrik-freerdp)
    if(major EQUAL 3)
        set(package zobrik-freerdp3)
    endif()
    install(TARGETS zobrik_freerdp${major}_addin LIBRARY DESTINATION ${ZOBRIK_FREERDP${major}_ADDIN_DIR}
        COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/linux.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION share/doc/${package} COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/install/linux/wtsdvc.conf.example
        DESTINATION share/doc/${package}/examples COMPONENT ${component})
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
    set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_${upper}_PACKAGE_SHLIBDEPS ON)
    set(CPACK_COMPONENT_${upper}_DESCRIPTION
        "Zobrik/exec and Zobrik/mail channels for FreeRDP ${major} clients\nFreeRDP ${major} dynamic channel add-in: applications in the remote session open paths and addresses on this computer (xdg-open) and hand mails with attachments to its mail program (xdg-email).")
endforeach()
set(CPACK_DEBIAN_FREERDP2_PACKAGE_DEPENDS "xdg-utils, freerdp2-x11 | libfreerdp-client2-2")
set(CPACK_DEBIAN_FREERDP3_PACKAGE_DEPENDS "xdg-utils, freerdp3-x11 | libfreerdp-client3-3")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL freerdp2 freerdp3)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_PACKAGE_NAME zobrik-freerdp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Zobrik)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zobrik <support@zobrik.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
include(CPack)

# Both packages hold the add-ins built here, each in its FreeRDP's folder,
# and their documents, depend on what each add-in needs, and install side by
# side.
add_test(NAME deb_package COMMAND ${PROJECT_SOURCE_DIR}/tests/install/check_deb_package.sh
    ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}
    $<TARGET_FILE:zobrik_freerdp2_addin> /usr/${ZOBRIK_FREERDP2_ADDIN_DIR}
    $<TARGET_FILE:zobrik_freerdp3_addin> /usr/${ZOBRIK_FREERDP3_ADDIN_DIR})
set_tests_properties(deb_package PROPERTIES TIMEOUT 180)
