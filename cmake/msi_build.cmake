# Builds one MSI package (run by cmake/msi.cmake with cmake -P, in the build
# tree): wixl makes the database, then msibuild
#  - authors the DLL as a versioned file: wixl leaves the File table's
#    Version and Language empty and adds an MsiFileHash row, as for a data
#    file, so a repair would compare hashes instead of versions;
#  - sets the package code to a name-based UUID of the inputs, so that the
#    same inputs give the same tables and summary (the creation time aside).
# Variables: WIXL, MSIBUILD, WXS, OUTPUT, VERSION, SCOPE, PRODUCT_CODE,
# FILE_VERSION (the DLL's version resource), BIN_DIR, SOURCE_DIR, INPUTS.
# Optional, for other packages than the plug-in's (comma-separated lists):
# VERSIONED_FILES (File table keys, default PluginDll), DEFINES (more wixl
# variables, Name=Value), INCLUDE_DIRS (where wixl finds <?include?> files),
# SECURE_PROPERTIES (public properties added to
# SecureCustomProperties, which wixl 0.101 cannot author), DESCRIPTION (the
# summary's subject).
foreach(variable WIXL MSIBUILD WXS OUTPUT VERSION SCOPE PRODUCT_CODE FILE_VERSION BIN_DIR SOURCE_DIR INPUTS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "msi_build.cmake: ${variable} is not set")
    endif()
endforeach()

if(NOT DEFINED VERSIONED_FILES)
    set(VERSIONED_FILES PluginDll)
endif()
if(NOT DEFINED DESCRIPTION)
    set(DESCRIPTION "Remote Desktop client plug-in for the Zobrik/exec and Zobrik/mail channels")
endif()
string(REPLACE "," ";" VERSIONED_FILES "${VERSIONED_FILES}")
set(defines)
if(DEFINED DEFINES)
    string(REPLACE "," ";" DEFINES "${DEFINES}")
    foreach(define IN LISTS DEFINES)
        list(APPEND defines -D ${define})
    endforeach()
endif()
if(DEFINED INCLUDE_DIRS)
    string(REPLACE "," ";" INCLUDE_DIRS "${INCLUDE_DIRS}")
    foreach(dir IN LISTS INCLUDE_DIRS)
        list(APPEND defines -I ${dir})
    endforeach()
endif()

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
    -D BinDir=${BIN_DIR} -D SourceDir=${SOURCE_DIR} ${defines} -o ${built} ${WXS})

set(digest "${VERSION} ${SCOPE} ${PRODUCT_CODE}")
foreach(input IN LISTS INPUTS)
    file(SHA256 ${input} hash)
    string(APPEND digest " ${hash}")
endforeach()
string(UUID package_code NAMESPACE ${PRODUCT_CODE} NAME "${digest}" TYPE SHA1 UPPER)

# Called directly: the template "x64;1033" must stay one argument.
set(template "x64;1033")
set(queries)
foreach(file IN LISTS VERSIONED_FILES)
    list(APPEND queries
        -q "UPDATE `File` SET `Version` = '${FILE_VERSION}', `Language` = '1033' WHERE `File` = '${file}'"
        -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${file}'")
endforeach()
execute_process(COMMAND ${MSIBUILD} ${built} ${queries}
    -s "${DESCRIPTION}" Zobrik "${template}" "{${package_code}}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "msibuild failed (${result}) on ${built}")
endif()
if(DEFINED SECURE_PROPERTIES)
    # wixl lists the upgrade properties there; the others are added to them.
    # Called directly: the value's ';' must stay inside one argument.
    find_program(MSIINFO msiinfo REQUIRED)
    execute_process(COMMAND ${MSIINFO} export ${built} Property OUTPUT_VARIABLE properties RESULT_VARIABLE result)
    string(REGEX MATCH "\nSecureCustomProperties\t([^\r\n]*)" found "${properties}")
    set(secure "${CMAKE_MATCH_1}")
    string(REPLACE "," ";" SECURE_PROPERTIES "${SECURE_PROPERTIES}")
    foreach(property IN LISTS SECURE_PROPERTIES)
        if(secure STREQUAL "")
            set(secure "${property}")
        else()
            set(secure "${secure};${property}")
        endif()
    endforeach()
    set(query "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'")
    execute_process(COMMAND ${MSIBUILD} ${built} -q "${query}" RESULT_VARIABLE update_result)
    if(NOT result EQUAL 0 OR NOT update_result EQUAL 0 OR found STREQUAL "")
        message(FATAL_ERROR "cannot add ${SECURE_PROPERTIES} to SecureCustomProperties of ${built}")
    endif()
endif()
file(RENAME ${built} ${OUTPUT})
