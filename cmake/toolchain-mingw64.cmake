# x64 Windows build: mingw-w64 (posix threads), run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CORVINA_MINGW_TRIPLE x86_64-w64-mingw32)
get_filename_component(_corvina_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CORVINA_WINE_RUN "${_corvina_root}/scripts/wine-run.sh")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
