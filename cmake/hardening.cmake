# Hardening of the Windows build. The flags apply to every target of the
# Windows tree, so the tests run the same code as the shipped files.
#
# -fstack-protector-strong: a canary in every function with a local array or
#   a local whose address is taken, checked before return. GCC's libssp
#   provides the check (__stack_chk_fail) and the guard value. The flag is
#   also given to the linker driver, which then adds -lssp_nonshared -lssp;
#   with -static (ZOBRIK_STATIC_RUNTIME, used by every program and DLL of the
#   tree) that is libssp.a, so no libssp-0.dll import appears.
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
add_compile_options(-fstack-protector-strong)
add_compile_definitions(_FORTIFY_SOURCE=2)
add_link_options(-fstack-protector-strong
    LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat)

