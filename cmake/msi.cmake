# The Windows Installer packages, built with wixl (msitools) from
# install/msi/ZobrikWTSDVC.wxs: ZobrikWTSDVC-<version>-x64.msi (per machine)
# and ZobrikWTSDVC-<version>-x64-user.msi (per user), beside the DLL.
find_program(ZOBRIK_WIXL wixl REQUIRED)

# zobrik_add_msi(<output> <version> <machine|user>): builds the package when
# the DLL or the source changes. wixl 0.101 finds a file only by a path
# relative to its working directory, so both folders are given that way.
function(zobrik_add_msi output version scope)
    file(RELATIVE_PATH source_dir ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
    add_custom_command(OUTPUT ${output}
        COMMAND ${ZOBRIK_WIXL} -a x64 -D Version=${version} -D Scope=${scope}
            -D BinDir=bin -D SourceDir=${source_dir}
            -o ${output} ${PROJECT_SOURCE_DIR}/install/msi/ZobrikWTSDVC.wxs
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        DEPENDS ZobrikWTSDVC ${PROJECT_SOURCE_DIR}/install/msi/ZobrikWTSDVC.wxs
            ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
            ${PROJECT_SOURCE_DIR}/install/INSTALL.md
        VERBATIM)
endfunction()

set(ZOBRIK_MSI_MACHINE ${CMAKE_BINARY_DIR}/bin/ZobrikWTSDVC-${PROJECT_VERSION}-x64.msi)
set(ZOBRIK_MSI_USER ${CMAKE_BINARY_DIR}/bin/ZobrikWTSDVC-${PROJECT_VERSION}-x64-user.msi)
zobrik_add_msi(${ZOBRIK_MSI_MACHINE} ${PROJECT_VERSION} machine)
zobrik_add_msi(${ZOBRIK_MSI_USER} ${PROJECT_VERSION} user)
add_custom_target(msi ALL DEPENDS ${ZOBRIK_MSI_MACHINE} ${ZOBRIK_MSI_USER})
