# zobrik_add_version_resource(<target> <original file name> <description> DLL|APP)
# Gives the target a version resource: FileVersion and ProductVersion from
# the project's version, company, product, description, copyright and the
# original file name, read by Windows' file properties and inventory tools.
function(zobrik_add_version_resource target original_filename description type)
    set(ZOBRIK_RC_ORIGINAL_FILENAME ${original_filename})
    set(ZOBRIK_RC_DESCRIPTION ${description})
    get_filename_component(ZOBRIK_RC_INTERNAL_NAME ${original_filename} NAME_WE)
    if(type STREQUAL "DLL")
        set(ZOBRIK_RC_FILE_TYPE VFT_DLL)
    else()
        set(ZOBRIK_RC_FILE_TYPE VFT_APP)
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version_resource.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
