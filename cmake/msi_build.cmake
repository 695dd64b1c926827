# Builds one MSI package (run by cmake/msi.cmake with cmake -P, in the build
# tree): wixl makes the database, then msibuild
#  - authors the DLL as a versioned file: wixl leaves the File table's
#    Version and Language empty and adds an MsiFileHash row, as for a data
#    file, so a repair would compare hashes instead of versions;
#  - sets the package code to a name-based UUID of the inputs, so that the
#    same inputs give the same tables and summary (the creation time aside).
# Variables: WIXL, MSIBUILD, WXS, OUTPUT, VERSION, SCOPE, PRODUCT_CODE,
# FILE_VERSION (the DLL's version resource), BIN_DIR, SOURCE_DIR, INPUTS.
foreach(variable WIXL MSIBUILD WXS OUTPUT VERSION SCOPE PRODUCT_CODE FILE_VERSION BIN_DIR SOURCE_DIR INPUTS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "msi_build.cmake: ${variable} is not set")
    endif()
endforeach()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}")
    endif()
endfunction()

set(built ${OUTPUT}.wixl)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(REMOVE ${built})
run(${WIXL} -a x64 -D Version=${VERSION} -D Scope=${SCOPE} -D ProductCode=${PRODUCT_CODE}
    -D BinDir=${BIN_DIR} -D SourceDir=${SOURCE_DIR} -o ${built} ${WXS})

set(digest "${VERSION} ${SCOPE} ${PRODUCT_CODE}")
foreach(input IN LISTS INPUTS)
    file(SHA256 ${input} hash)
    string(APPEND digest " ${hash}")
endforeach()
string(UUID package_code NAMESPACE ${PRODUCT_CODE} NAME "${digest}" TYPE SHA1 UPPER)

# Called directly: the template "x64;1033" must stay one argument.
set(template "x64;1033")
execute_process(COMMAND ${MSIBUILD} ${built}
    -q "UPDATE `File` SET `Version` = '${FILE_VERSION}', `Language` = '1033' WHERE `File` = 'PluginDll'"
    -q "DELETE FROM `MsiFileHash` WHERE `File_` = 'PluginDll'"
    -s "Remote Desktop client plug-in for the Zobrik/exec and Zobrik/mail channels" Zobrik "${template}"
       "{${package_code}}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "msibuild failed (${result}) on ${built}")
endif()
file(RENAME ${built} ${OUTPUT})
