# Windows (MinGW-w64) build: the plug-in DLL, the Remote Desktop client
# stand-in, the MAPI32 and Outlook stand-ins and the tests that run under Wine.
include(cmake/warnings.cmake)
include(cmake/hardening.cmake)
include(cmake/version_resource.cmake)
enable_language(RC)

# What every Windows target of the project builds with: the Windows API in
# its Unicode form for Windows 10, the warnings, the repository root as the
# one include root, and the MinGW runtime linked statically (so the DLL and
# every program import only Windows system DLLs). Every target made after
# this line links it.
add_library(zobrik_windows INTERFACE)
target_compile_definitions(zobrik_windows INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
target_compile_options(zobrik_windows INTERFACE $<$<COMPILE_LANGUAGE:C,CXX>:${ZOBRIK_WARNINGS}>)
target_include_directories(zobrik_windows INTERFACE ${PROJECT_SOURCE_DIR})
target_link_options(zobrik_windows INTERFACE -static -static-libgcc -static-libstdc++)
link_libraries(zobrik_windows)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The 32-bit tree (cmake/win32_parts.cmake) builds only what 32-bit programs
# on a session host load, and their 32-bit test programs.
option(ZOBRIK_WIN32_PARTS "32-bit build: only the parts that 32-bit programs load" OFF)
if(ZOBRIK_WIN32_PARTS)
    include(cmake/win32_parts.cmake)
    return()
endif()
include(cmake/win32_subbuild.cmake)

# The platform-free logic as a library, so that the DLL takes only what its
# Windows layer uses (the Linux client's decisions stay out); the Windows
# layer as objects. Both are linked into the DLL and into the benchmarks that
# time its parts. -g: the code ends up in the DLL, whose debug information is
# kept in ZobrikWTSDVC.dll.debug (zobrik_split_debug_info).
add_library(zobrik_logic STATIC ${ZOBRIK_LOGIC_SOURCES})
target_compile_options(zobrik_logic PRIVATE -g)
add_library(zobrik_core OBJECT ${ZOBRIK_WIN_SOURCES})
target_compile_options(zobrik_core PRIVATE -g)
target_link_libraries(zobrik_core PUBLIC zobrik_logic INTERFACE shell32 shlwapi ole32 oleaut32 uuid user32 advapi32 bcrypt iphlpapi ntdll)

add_library(ZobrikWTSDVC SHARED plugin/win/dllmain.cpp plugin/win/ZobrikWTSDVC.def)
set_target_properties(ZobrikWTSDVC PROPERTIES PREFIX "" OUTPUT_NAME ZobrikWTSDVC)
target_link_libraries(ZobrikWTSDVC PRIVATE zobrik_core)
zobrik_add_version_resource(ZobrikWTSDVC ZobrikWTSDVC.dll
    "Zobrik Remote Desktop plug-in (Zobrik/exec and Zobrik/mail channels)" DLL)
zobrik_split_debug_info(ZobrikWTSDVC)
# The event texts: windmc makes a resource script and the message table it
# includes; the DLL is the event source's EventMessageFile.
find_program(ZOBRIK_WINDMC NAMES x86_64-w64-mingw32-windmc REQUIRED)
set(ZOBRIK_EVENT_MESSAGES_DIR ${CMAKE_CURRENT_BINARY_DIR}/event_messages)
add_custom_command(OUTPUT ${ZOBRIK_EVENT_MESSAGES_DIR}/event_messages.rc ${ZOBRIK_EVENT_MESSAGES_DIR}/MSG00409.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZOBRIK_EVENT_MESSAGES_DIR}
    COMMAND ${ZOBRIK_WINDMC} -U -h ${ZOBRIK_EVENT_MESSAGES_DIR} -r ${ZOBRIK_EVENT_MESSAGES_DIR}
        ${PROJECT_SOURCE_DIR}/common/win/event_messages.mc
    DEPENDS ${PROJECT_SOURCE_DIR}/common/win/event_messages.mc VERBATIM)
target_sources(ZobrikWTSDVC PRIVATE ${ZOBRIK_EVENT_MESSAGES_DIR}/event_messages.rc)
set_source_files_properties(${ZOBRIK_EVENT_MESSAGES_DIR}/event_messages.rc PROPERTIES
    OBJECT_DEPENDS ${ZOBRIK_EVENT_MESSAGES_DIR}/MSG00409.bin)
target_include_directories(ZobrikWTSDVC PRIVATE ${ZOBRIK_EVENT_MESSAGES_DIR})
# The MSI packages.
include(cmake/msi.cmake)

# The command-line tool and the C interface for the remote session.
add_subdirectory(tools/zobrik-send)
# The session host's Simple MAPI provider.
add_subdirectory(server/mapi)
add_subdirectory(sdk/capi)
# The session host's link and file handler.
add_subdirectory(server/open)
# The session host's server package: its setup program, then the package
# (once the provider is built in this tree).
add_subdirectory(server/setup)
if(TARGET ZobrikMapi)
    include(cmake/server_msi.cmake)
endif()

option(ZOBRIK_BUILD_TESTS "Build the test programs and register the Wine tests" ON)
if(ZOBRIK_BUILD_TESTS)
    include(cmake/wine.cmake)
    add_subdirectory(tests)
endif()

# The release archive (cpack).
include(cmake/sdk_package.cmake)
include(cmake/packaging.cmake)
