# Source collection by folder, sub-folders included. Widgets live in `ui/`
# folders (at any depth) and in app/; everything else is core.

# Every .cpp and .h under the listed folders, relative to the source root.
function(vexor_glob_relative out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}
         ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Every .cpp and .h under the listed folders, as absolute paths.
function(vexor_glob_recursive out)
  vexor_glob_relative(found ${ARGN})
  list(TRANSFORM found PREPEND ${CMAKE_SOURCE_DIR}/)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The sources of the folders outside (EXCLUDE) or inside (INCLUDE) their ui/
# sub-folders.
function(vexor_split_sources out mode)
  vexor_glob_relative(found ${ARGN})
  list(FILTER found ${mode} REGEX "(^|/)ui/")
  list(TRANSFORM found PREPEND ${CMAKE_SOURCE_DIR}/)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(vexor_core_sources out)
  vexor_split_sources(found EXCLUDE ${ARGN})
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(vexor_ui_sources out)
  vexor_split_sources(found INCLUDE ${ARGN})
  set(${out} ${found} PARENT_SCOPE)
endfunction()
