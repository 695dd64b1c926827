# The 32-bit parts, built as a tree of their own inside the Windows tree
# (build/windows/win32) with the 32-bit MinGW-w64 toolchain, every time the
# Windows tree is built. Their files land in ZOBRIK_WIN32_BIN, where the
# packages and the Wine tests of this tree take them from.
include(ExternalProject)
set(ZOBRIK_WIN32_BINARY_DIR ${CMAKE_BINARY_DIR}/win32)
set(ZOBRIK_WIN32_BIN ${ZOBRIK_WIN32_BINARY_DIR}/bin)
set(zobrik_win32_args
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw32.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCMAKE_CXX_FLAGS_RELEASE=${CMAKE_CXX_FLAGS_RELEASE}
    -DZOBRIK_WERROR=${ZOBRIK_WERROR}
    -DZOBRIK_WIN32_PARTS=ON)
# The compiler cache of the caller, when it uses one, serves this tree too.
foreach(launcher CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER)
    if(DEFINED ENV{${launcher}})
        list(APPEND zobrik_win32_args -D${launcher}=$ENV{${launcher}})
    endif()
endforeach()
ExternalProject_Add(zobrik_win32
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${ZOBRIK_WIN32_BINARY_DIR}
    CMAKE_ARGS ${zobrik_win32_args}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
