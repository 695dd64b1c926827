# Every target of the project builds warning-free with these.
set(ZOBRIK_WARNINGS -Wall -Wextra -Wshadow)
option(ZOBRIK_WERROR "Treat warnings as errors" OFF)
if(ZOBRIK_WERROR)
    list(APPEND ZOBRIK_WARNINGS -Werror)
endif()
