# The Windows Installer packages, built with wixl (msitools) from
# install/msi/ZobrikWTSDVC.wxs: ZobrikWTSDVC-<version>-x64.msi (per machine)
# and ZobrikWTSDVC-<version>-x64-user.msi (per user), beside the DLL.
find_program(ZOBRIK_WIXL wixl REQUIRED)
find_program(ZOBRIK_MSIBUILD msibuild REQUIRED)

# Name-based (SHA-1, version 5) UUIDs of the packages are made in this
# namespace. Never change it: the ProductCode of every released version
# follows from it.
set(ZOBRIK_MSI_NAMESPACE 5D6F3C0B-2B4E-4F61-9C83-0E7A1B52D4C9)

# zobrik_msi_product_code(<variable> <version> <machine|user>): the ProductCode
# of a version and scope, the same for every build of it.
function(zobrik_msi_product_code variable version scope)
    string(UUID code NAMESPACE ${ZOBRIK_MSI_NAMESPACE} NAME "ZobrikWTSDVC ${version} ${scope}" TYPE SHA1 UPPER)
    set(${variable} ${code} PARENT_SCOPE)
endfunction()

# zobrik_add_msi(<output> <version> <machine|user>): builds the package when
# the DLL or the source changes (cmake/msi_build.cmake: wixl, then the DLL
# made a versioned file and the package code derived from the inputs).
# wixl 0.101 finds a file only by a path relative to its working directory,
# so both folders are given that way.
function(zobrik_add_msi output version scope)
    file(RELATIVE_PATH source_dir ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
    zobrik_msi_product_code(product_code ${version} ${scope})
    set(inputs ${PROJECT_SOURCE_DIR}/install/msi/ZobrikWTSDVC.wxs ${PROJECT_SOURCE_DIR}/install/msi/zobrik.ico
        ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
        ${PROJECT_SOURCE_DIR}/install/INSTALL.md ${PROJECT_SOURCE_DIR}/install/zobrik-selftest.jpg)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -D WIXL=${ZOBRIK_WIXL} -D MSIBUILD=${ZOBRIK_MSIBUILD}
            -D WXS=${PROJECT_SOURCE_DIR}/install/msi/ZobrikWTSDVC.wxs -D OUTPUT=${output}
            -D VERSION=${version} -D SCOPE=${scope} -D PRODUCT_CODE=${product_code}
            -D FILE_VERSION=${PROJECT_VERSION}.0 -D BIN_DIR=bin -D SOURCE_DIR=${source_dir}
            "-D INPUTS=$<TARGET_FILE:ZobrikWTSDVC>$<SEMICOLON>${inputs}"
            -P ${PROJECT_SOURCE_DIR}/cmake/msi_build.cmake
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        DEPENDS ZobrikWTSDVC ${inputs} ${PROJECT_SOURCE_DIR}/cmake/msi_build.cmake
        VERBATIM)
endfunction()

set(ZOBRIK_MSI_MACHINE ${CMAKE_BINARY_DIR}/bin/ZobrikWTSDVC-${PROJECT_VERSION}-x64.msi)
set(ZOBRIK_MSI_USER ${CMAKE_BINARY_DIR}/bin/ZobrikWTSDVC-${PROJECT_VERSION}-x64-user.msi)
zobrik_add_msi(${ZOBRIK_MSI_MACHINE} ${PROJECT_VERSION} machine)
zobrik_add_msi(${ZOBRIK_MSI_USER} ${PROJECT_VERSION} user)
add_custom_target(msi ALL DEPENDS ${ZOBRIK_MSI_MACHINE} ${ZOBRIK_MSI_USER})
