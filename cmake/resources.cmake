# Programs with a resource script: the tree's compiler flags are for C and C++ only,
# windres knows none of them. pv_resource_script(target script [files it includes...])
# keeps them off the script and rebuilds it when an included file changes.
function(pv_resource_script target script)
  get_property(options DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY COMPILE_OPTIONS)
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "$<$<NOT:$<COMPILE_LANGUAGE:RC>>:${options}>")
  if(ARGN)
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${ARGN}")
  endif()
endfunction()
