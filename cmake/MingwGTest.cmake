# GoogleTest for the Windows builds, compiled from Debian's source package
# (the native build uses the installed libraries through find_package).
# Gives the same targets as find_package(GTest): GTest::gtest,
# GTest::gtest_main, GTest::gmock, GTest::gmock_main; include GoogleTest
# after this for gtest_discover_tests.
include_guard(GLOBAL)

set(CORVINA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for the Windows builds")
if(NOT EXISTS ${CORVINA_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found at ${CORVINA_GTEST_SOURCE} (Debian package googletest)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# Win32 threads inside gtest; winpthread is not needed for it.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)

# Third-party code: its warnings are not ours to fix, so -Werror (set for the
# whole tree) is dropped for it, and SYSTEM keeps its headers quiet in our
# test sources.
get_directory_property(_corvina_opts COMPILE_OPTIONS)
set(_corvina_opts_gtest ${_corvina_opts})
list(REMOVE_ITEM _corvina_opts_gtest -Werror)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_corvina_opts_gtest}")
add_subdirectory(${CORVINA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_corvina_opts}")
unset(_corvina_opts)
unset(_corvina_opts_gtest)

foreach(_t gtest gtest_main gmock gmock_main)
  target_compile_options(${_t} PRIVATE -Wno-error)
endforeach()
