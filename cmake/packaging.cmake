# The release packages, made with cpack in the Windows build tree (zip, one
# archive per component, each with the folder ZobrikWTSDVC-<version>-win64):
#   ZobrikWTSDVC-<version>-win64.zip (component "runtime"), for administrators:
#     ZobrikWTSDVC.dll, Install-ZobrikPlugin.ps1, zobrik-plugin.reg.in,
#     zobrik-plugin-remove.reg, INSTALL.md, README.md, policy/ (the
#     administrative template), docs/administrators.md, LICENSE,
#     THIRD-PARTY-NOTICES, third-party/. The MSI packages (cmake/msi.cmake)
#     are shipped beside it.
#   ZobrikWTSDVC-<version>-devkit.zip (component "devkit"), for developers of
#     remote applications: include/zobrik/ (the SDK headers),
#     include/zobrik_remote.h and .def, bin/zobrik_remote.dll,
#     lib/libzobrik_remote.dll.a, lib/cmake/Zobrik/ (find_package),
#     bin/zobrik-send.exe, docs/remote-applications.md, README.md, LICENSE,
#     THIRD-PARTY-NOTICES, third-party/.
#   ZobrikWTSDVC-<version>-win64-symbols.zip (component "symbols"), with the
#     licence and notices: the debug
#     information of the stripped DLL and tool, ZobrikWTSDVC.dll.debug and
#     bin/zobrik-send.exe.debug; unpacked over the other folders, each lies
#     beside its file, where gdb and addr2line look for it.

# The client package: the DLL with its registration scripts and the
# administrator's documentation (the MSI packages are shipped beside it).
install(TARGETS ZobrikWTSDVC RUNTIME DESTINATION . COMPONENT runtime)
install(FILES
    ${PROJECT_SOURCE_DIR}/install/Install-ZobrikPlugin.ps1
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin.reg.in
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin-remove.reg
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin-machine.reg
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin-machine-remove.reg
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin-user.reg
    ${PROJECT_SOURCE_DIR}/install/zobrik-selftest.jpg
    ${PROJECT_SOURCE_DIR}/install/INSTALL.md
    DESTINATION . COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/install/README.md DESTINATION . COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/install/policy/ DESTINATION policy COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/administrators.md DESTINATION docs COMPONENT runtime)

# The remote developer's kit: the SDK (cmake/sdk_package.cmake),
# zobrik-send.exe and the channel documentation.
install(TARGETS zobrik-send RUNTIME DESTINATION bin COMPONENT devkit)
install(FILES ${PROJECT_SOURCE_DIR}/sdk/README.md DESTINATION . COMPONENT devkit)
install(FILES ${PROJECT_SOURCE_DIR}/docs/remote-applications.md DESTINATION docs COMPONENT devkit)

# Both carry the licence, and the terms of what the binaries contain of the
# MinGW-w64 and GCC runtimes: Debian's copyright files of their packages.
foreach(component runtime devkit symbols)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
        DESTINATION . COMPONENT ${component})
    foreach(package_and_name "mingw-w64-x86-64-dev;mingw-w64-copyright.txt"
                             "gcc-mingw-w64-base;gcc-mingw-w64-runtime-copyright.txt")
        list(GET package_and_name 0 package)
        list(GET package_and_name 1 name)
        set(copyright /usr/share/doc/${package}/copyright)
        if(NOT EXISTS ${copyright})
            message(FATAL_ERROR "${copyright} is missing: install the package ${package}")
        endif()
        install(FILES ${copyright} DESTINATION third-party RENAME ${name} COMPONENT ${component})
    endforeach()
endforeach()

# The debug files of the stripped binaries, in the same folders.
install(FILES $<TARGET_FILE:ZobrikWTSDVC>.debug DESTINATION . COMPONENT symbols)
install(FILES $<TARGET_FILE:zobrik-send>.debug $<TARGET_FILE:zobrik_remote>.debug DESTINATION bin COMPONENT symbols)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZobrikWTSDVC)
set(CPACK_PACKAGE_VENDOR Zobrik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Remote Desktop client plug-in for the Zobrik/exec and Zobrik/mail channels")
set(CPACK_PACKAGE_FILE_NAME ZobrikWTSDVC-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# One archive per component, both with the folder ZobrikWTSDVC-<version>-win64.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL runtime devkit symbols)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ZobrikWTSDVC-${PROJECT_VERSION}-win64)
set(CPACK_ARCHIVE_DEVKIT_FILE_NAME ZobrikWTSDVC-${PROJECT_VERSION}-devkit)
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ZobrikWTSDVC-${PROJECT_VERSION}-win64-symbols)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

# The archive holds the DLL, the installer files and nothing else of the
# build; the symbols archive holds the .debug files of the shipped files.
if(ZOBRIK_BUILD_TESTS)
    add_test(NAME package_archive
        COMMAND ${PROJECT_SOURCE_DIR}/tests/install/package_test.sh
            ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}/CPackConfig.cmake
            ${CMAKE_BINARY_DIR}/tests/package-check ${PROJECT_VERSION}
            $<TARGET_FILE:ZobrikWTSDVC>
            $<TARGET_FILE_NAME:zobrik-send>)
    set_tests_properties(package_archive PROPERTIES TIMEOUT 120)
endif()
