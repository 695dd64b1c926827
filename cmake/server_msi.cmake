# The session host's package, built with wixl from install/server/ZobrikServer.wxs
# (cmake/msi_build.cmake): ZobrikServer-<version>-x64.msi beside the programs,
# with the 64-bit provider, zobrik-open and zobrik-server-setup of this tree
# and the 32-bit provider of the 32-bit tree.

# The name-based ProductCode of a version of the server package (in the same
# namespace as the plug-in's packages, under a name of its own).
function(zobrik_server_msi_product_code variable version)
    string(UUID code NAMESPACE ${ZOBRIK_MSI_NAMESPACE} NAME "ZobrikWTSDVC server ${version}" TYPE SHA1 UPPER)
    set(${variable} ${code} PARENT_SCOPE)
endfunction()

# zobrik_add_server_msi(<output> <version>)
function(zobrik_add_server_msi output version)
    file(RELATIVE_PATH source_dir ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
    file(RELATIVE_PATH bin32_dir ${CMAKE_BINARY_DIR} ${ZOBRIK_WIN32_BIN})
    zobrik_server_msi_product_code(product_code ${version})
    set(wxs ${PROJECT_SOURCE_DIR}/install/server/ZobrikServer.wxs)
    set(inputs ${wxs} ${PROJECT_SOURCE_DIR}/server/open/zobrik-open.wxi ${PROJECT_SOURCE_DIR}/install/msi/zobrik.ico ${PROJECT_SOURCE_DIR}/LICENSE
        ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES ${PROJECT_SOURCE_DIR}/docs/servers.md)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -D WIXL=${ZOBRIK_WIXL} -D MSIBUILD=${ZOBRIK_MSIBUILD}
            -D WXS=${wxs} -D OUTPUT=${output} -D VERSION=${version} -D SCOPE=machine -D PRODUCT_CODE=${product_code}
            -D FILE_VERSION=${PROJECT_VERSION}.0 -D BIN_DIR=bin -D SOURCE_DIR=${source_dir}
            -D DEFINES=Bin32Dir=${bin32_dir} -D INCLUDE_DIRS=${PROJECT_SOURCE_DIR}/server/open
            -D VERSIONED_FILES=MapiDll64,MapiDll32,ZobrikOpenExe,SetupExe
            -D SECURE_PROPERTIES=ZOBRIK_DEFAULT_MAIL,ZOBRIK_FILE_TYPES
            "-D DESCRIPTION=Session host half of Zobrik: Simple MAPI provider and link handler"
            "-D INPUTS=$<TARGET_FILE:ZobrikMapi>$<SEMICOLON>$<TARGET_FILE:zobrik-open>$<SEMICOLON>$<TARGET_FILE:zobrik-server-setup>$<SEMICOLON>${ZOBRIK_WIN32_BIN}/ZobrikMapi.dll$<SEMICOLON>${inputs}"
            -P ${PROJECT_SOURCE_DIR}/cmake/msi_build.cmake
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        # The 32-bit provider comes from the 32-bit tree, built every time
        # (zobrik_win32); it is hashed into the package code with the rest.
        DEPENDS ZobrikMapi zobrik-open zobrik-server-setup zobrik_win32 ${inputs}
            ${PROJECT_SOURCE_DIR}/cmake/msi_build.cmake
        VERBATIM)
endfunction()

set(ZOBRIK_SERVER_MSI ${CMAKE_BINARY_DIR}/bin/ZobrikServer-${PROJECT_VERSION}-x64.msi)
zobrik_add_server_msi(${ZOBRIK_SERVER_MSI} ${PROJECT_VERSION})
add_custom_target(server_msi ALL DEPENDS ${ZOBRIK_SERVER_MSI})
