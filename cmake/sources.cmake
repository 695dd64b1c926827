# The product's sources, taken from the layout rather than listed: a
# subsystem folder's own files are platform-free (no platform header, built
# into every client and natively, where the unit tests run them under the
# sanitizers and the fuzzers feed them); its win/ subfolder is the Windows
# layer and its posix/ subfolder the POSIX layer. freerdp/ is the FreeRDP
# frame. tests/layout/check-includes.sh keeps the platform-free files free of
# platform headers and of the platform folders.
set(ZOBRIK_CLIENT_FOLDERS plugin exec mail common selftest)

# zobrik_sources(<out-var> <folder>...): the .cpp files directly in each
# folder, absolute and sorted.
function(zobrik_sources out)
    set(patterns)
    foreach(folder ${ARGN})
        list(APPEND patterns ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    endforeach()
    file(GLOB sources CONFIGURE_DEPENDS ${patterns})
    list(SORT sources)
    set(${out} ${sources} PARENT_SCOPE)
endfunction()

list(TRANSFORM ZOBRIK_CLIENT_FOLDERS APPEND /win OUTPUT_VARIABLE zobrik_win_folders)
list(TRANSFORM ZOBRIK_CLIENT_FOLDERS APPEND /posix OUTPUT_VARIABLE zobrik_posix_folders)

# Platform-free logic of the clients.
zobrik_sources(ZOBRIK_LOGIC_SOURCES ${ZOBRIK_CLIENT_FOLDERS})
# The Windows layer of the plug-in DLL (its entry point, plugin/win/dllmain.cpp,
# is the DLL's own source).
zobrik_sources(ZOBRIK_WIN_SOURCES ${zobrik_win_folders})
list(FILTER ZOBRIK_WIN_SOURCES EXCLUDE REGEX "/plugin/win/dllmain\\.cpp$")
# The POSIX layer of the Linux client (also built natively, so that its tests
# run under the sanitizers) and the FreeRDP frame (built by cmake/linux.cmake).
zobrik_sources(ZOBRIK_POSIX_SOURCES ${zobrik_posix_folders})
zobrik_sources(ZOBRIK_FREERDP_SOURCES freerdp)

# The platform-free decisions of the session host's parts: the Simple MAPI
# provider, zobrik-open.exe and the server package's setup program. Their
# Windows layers sit in each part's win/ folder and are listed by the part's
# CMakeLists.txt.
zobrik_sources(ZOBRIK_SERVER_MAPI_LOGIC_SOURCES server/mapi)
zobrik_sources(ZOBRIK_SERVER_OPEN_LOGIC_SOURCES server/open)
zobrik_sources(ZOBRIK_SERVER_SETUP_LOGIC_SOURCES server/setup)
