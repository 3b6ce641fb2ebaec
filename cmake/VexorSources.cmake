# Sources of the listed folders, top level only: the core takes rom/, editor/ ...
# while their ui/ sub-folders (and app/) hold the widgets of the GUI library.
function(vexor_glob_folders out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
