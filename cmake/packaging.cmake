# The release archive: ZobrikWTSDVC-<version>-win64.zip, made with cpack in
# the Windows build tree. Everything sits in one folder, the DLL next to the
# installer script (which looks for it there):
#   ZobrikWTSDVC.dll, Install-ZobrikPlugin.ps1, zobrik-plugin.reg.in (template,
#   path to be filled in), zobrik-plugin-remove.reg, INSTALL.md, README.md,
#   policy/ (the administrative template: ZobrikWTSDVC.admx, en-US/, de-DE/),
#   bin/zobrik-send.exe (when that tool is part of the build), docs/ (when present).
# The DLL and zobrik-send.exe are the stripped files of the build. Their debug
# information goes into a second archive, ZobrikWTSDVC-<version>-win64-symbols.zip
# (component "symbols"), with the same folder: ZobrikWTSDVC.dll.debug,
# bin/zobrik-send.exe.debug. Unpacked over the release folder, each lies
# beside its file, where gdb and addr2line look for it.

# Only the DLL itself; its import library is of no use to a Remote Desktop client.
install(TARGETS ZobrikWTSDVC RUNTIME DESTINATION . COMPONENT runtime)
install(FILES $<TARGET_FILE:ZobrikWTSDVC>.debug DESTINATION . COMPONENT symbols)

# The tool's directory is added before this file is read.
install(TARGETS zobrik-send RUNTIME DESTINATION bin COMPONENT runtime)
install(FILES $<TARGET_FILE:zobrik-send>.debug DESTINATION bin COMPONENT symbols)

install(FILES
    ${PROJECT_SOURCE_DIR}/install/Install-ZobrikPlugin.ps1
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin.reg.in
    ${PROJECT_SOURCE_DIR}/install/zobrik-plugin-remove.reg
    ${PROJECT_SOURCE_DIR}/install/INSTALL.md
    ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION . COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/install/policy/ DESTINATION policy COMPONENT runtime)
# The licence, and the terms of what the binaries contain of the MinGW-w64
# and GCC runtimes: Debian's copyright files of the packages they come from.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION . COMPONENT runtime)
foreach(package_and_name "mingw-w64-x86-64-dev;mingw-w64-copyright.txt" "gcc-mingw-w64-base;gcc-mingw-w64-runtime-copyright.txt")
    list(GET package_and_name 0 package)
    list(GET package_and_name 1 name)
    set(copyright /usr/share/doc/${package}/copyright)
    if(NOT EXISTS ${copyright})
        message(FATAL_ERROR "${copyright} is missing: install the package ${package}")
    endif()
    install(FILES ${copyright} DESTINATION third-party RENAME ${name} COMPONENT runtime)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT runtime)

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
set(CPACK_COMPONENTS_ALL runtime symbols)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ZobrikWTSDVC-${PROJECT_VERSION}-win64)
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
