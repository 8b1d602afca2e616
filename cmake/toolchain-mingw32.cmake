# x86 Windows build: mingw-w64 (posix threads), run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(CORVINA_MINGW_TRIPLE i686-w64-mingw32)
get_filename_component(_corvina_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CORVINA_WINE_RUN "${_corvina_root}/scripts/wine-run.sh" --x86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
