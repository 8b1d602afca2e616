# cmake -DLOCALE_DIR=<dir> -DLOCALES=<name;...> -P CompileLocales.cmake
#
# Wine takes its UI language from the C library's locale of LANG, and a
# locale the machine has not generated leaves it at English. The runs that
# need one compile it here, from the sources of Debian's locales package,
# and point LOCPATH at the result, so the machine's own locales don't matter.
file(MAKE_DIRECTORY ${LOCALE_DIR})
foreach(locale IN LISTS LOCALES)
  set(target ${LOCALE_DIR}/${locale}.UTF-8)
  if(EXISTS ${target}/LC_CTYPE)
    continue()
  endif()
  execute_process(COMMAND localedef -i ${locale} -f UTF-8 ${target}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${target}/LC_CTYPE)
    file(REMOVE_RECURSE ${target})
    message(FATAL_ERROR "localedef ${locale}.UTF-8 failed (is the locales package installed?): ${out}")
  endif()
endforeach()
