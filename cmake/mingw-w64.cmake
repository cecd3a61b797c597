# Cross-compiling for 64-bit Windows with MinGW-w64 (posix threads).
# ZORVIK_MINGW_PREFIX names the prefix scripts/windows/build-deps filled.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZORVIK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZORVIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_MINGW_TRIPLE}-windres)

# The prefix travels to try_compile projects too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORVIK_MINGW_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_MINGW_TRIPLE} ${ZORVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built for Windows run here under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# pkg-config looks only at the prefix and MinGW's own folder.
set(PKG_CONFIG_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/../scripts/windows/pkg-config CACHE FILEPATH "")
set(ENV{ZORVIK_MINGW_PREFIX} ${ZORVIK_MINGW_PREFIX})
