# Install rules of the remote developer's kit (component "devkit"): the SDK
# headers and the CMake package files, in the Windows build also
# zobrik_remote.dll with its import library and header. A consumer finds it
# with find_package(Zobrik) and CMAKE_PREFIX_PATH set to the kit's folder.
include(CMakePackageConfigHelpers)
set(ZOBRIK_PACKAGE_DIR lib/cmake/Zobrik)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/sdk/zobrik/ DESTINATION include/zobrik COMPONENT devkit)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/package/ZobrikConfig.cmake.in
    ${CMAKE_BINARY_DIR}/package/ZobrikConfig.cmake INSTALL_DESTINATION ${ZOBRIK_PACKAGE_DIR} NO_SET_AND_CHECK_MACRO)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ZobrikConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/package/ZobrikConfig.cmake ${CMAKE_BINARY_DIR}/package/ZobrikConfigVersion.cmake
    DESTINATION ${ZOBRIK_PACKAGE_DIR} COMPONENT devkit)

if(TARGET zobrik_remote)
    install(TARGETS zobrik_remote RUNTIME DESTINATION bin COMPONENT devkit ARCHIVE DESTINATION lib COMPONENT devkit)
    install(FILES ${PROJECT_SOURCE_DIR}/sdk/capi/zobrik_remote.h ${PROJECT_SOURCE_DIR}/sdk/capi/zobrik_remote.def
        DESTINATION include COMPONENT devkit)
endif()
