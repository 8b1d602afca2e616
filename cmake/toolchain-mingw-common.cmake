# Shared part of the mingw-w64 toolchains; the including file sets
# CORVINA_MINGW_TRIPLE and CORVINA_WINE_RUN (the emulator command).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${CORVINA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVINA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${CORVINA_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${CORVINA_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${CORVINA_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${CORVINA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLL and the test programs must load on a machine without the mingw
# runtime DLLs (libgcc_s, libstdc++-6, libwinpthread-1): link them in.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVINA_WINE_RUN})
