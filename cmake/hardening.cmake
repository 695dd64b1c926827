# Hardening of the Windows build. The flags apply to every target of the
# Windows tree, so the tests run the same code as the shipped files.
#
# -fstack-protector-strong: a canary in every function with a local array or
#   a local whose address is taken, checked before return. GCC's libssp
#   provides the check (__stack_chk_fail) and the guard value. The flag is
#   also given to the linker driver, which then adds -lssp_nonshared -lssp;
#   with -static (from zobrik_windows, linked by every program and DLL of
#   the tree) that is libssp.a, so no libssp-0.dll import appears.
# _FORTIFY_SOURCE=2: the MinGW-w64 10 headers of Debian 12 honour it
#   (_mingw_mac.h sets __MINGW_FORTIFY_LEVEL 2 when optimizing): memcpy,
#   memset, memmove, strcpy, strcat and their kin in string.h and the
#   snprintf family in stdio.h check the size of a destination whose size the
#   compiler knows (__memcpy_chk, __strcpy_chk, ..., __chk_fail, from libssp).
#   The wide-character functions of wchar.h are not covered by these headers.
#   Without optimization (Debug) the headers leave it off by themselves.
# --dynamicbase (ASLR, with the base relocation table .reloc),
#   --high-entropy-va (64-bit ASLR) and --nxcompat (DEP): binutils 2.40
#   already sets them for x86-64 images; they are given explicitly so that no
#   other linker version leaves them out silently.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
add_compile_definitions(_FORTIFY_SOURCE=2)
# 32-bit images have no high-entropy ASLR; they get the whole 4 GiB address
# space of a 64-bit Windows instead (--large-address-aware).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZOBRIK_ASLR_FLAG LINKER:--high-entropy-va)
else()
    set(ZOBRIK_ASLR_FLAG LINKER:--large-address-aware)
endif()
add_link_options(-fstack-protector-strong
    LINKER:--dynamicbase ${ZOBRIK_ASLR_FLAG} LINKER:--nxcompat)

if(NOT CMAKE_OBJCOPY OR NOT CMAKE_STRIP)
    message(FATAL_ERROR "objcopy and strip of the MinGW-w64 binutils are needed (binutils-mingw-w64-x86-64)")
endif()

# The shipped files (the DLL and zobrik-send.exe) are built with debug
# information (-g) and stripped right after linking; the debug information
# and the symbol table go to <file>.debug beside them in bin/, and the
# stripped file names it in .gnu_debuglink (with its CRC), so gdb and
# addr2line find it for crash analysis when it lies next to the file.
# The tests run the stripped files. Objects of other targets linked into
# the file need -g themselves (see zobrik_core).
function(zobrik_split_debug_info target)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-g>)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug
            $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "Splitting the debug information of ${target} off into its .debug file"
        VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY ADDITIONAL_CLEAN_FILES $<TARGET_FILE:${target}>.debug)
endfunction()
