# The 32-bit tree: each folder below builds its targets the same way as in
# the 64-bit tree; a folder asks `ZOBRIK_WIN32_PARTS` where the two differ.
# What a 32-bit program on a session host loads, and the 32-bit programs
# that test it under Wine.
set(ZOBRIK_WIN32_PART_DIRS
    server/mapi
    tests/standins/wtsapi32
    tests/wine/session32
)
foreach(dir ${ZOBRIK_WIN32_PART_DIRS})
    add_subdirectory(${dir})
endforeach()
