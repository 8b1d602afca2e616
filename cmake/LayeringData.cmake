# Writes what the layering check (scripts/check-layers.py) reads of this
# build: its kind (native or windows, which cmake/layers.txt marks the
# libraries of one kind with), then every target of the project with its
# type, the targets and libraries it links, and its source files, one line each.
function(corvina_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    corvina_collect_targets(${subdir} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(corvina_write_layering_data file)
  corvina_collect_targets(${PROJECT_SOURCE_DIR} targets)
  if(WIN32)
    set(content "#build\twindows\n")
  else()
    set(content "#build\tnative\n")
  endif()
  foreach(target ${targets})
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(type ${target} TYPE)
    # Third-party code (GoogleTest in the Windows builds) is not ours to place.
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" NORMALIZE ours)
    if(NOT ours OR type STREQUAL "UTILITY")
      continue()
    endif()
    if(type STREQUAL "INTERFACE_LIBRARY")
      set(links "$<TARGET_PROPERTY:${target},INTERFACE_LINK_LIBRARIES>")
    else()
      set(links "$<TARGET_PROPERTY:${target},LINK_LIBRARIES>")
    endif()
    string(APPEND content "${target}\t${type}\t${dir}\t$<JOIN:${links},|>\t"
                          "$<JOIN:$<TARGET_PROPERTY:${target},SOURCES>,|>\n")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "${content}")
endfunction()
