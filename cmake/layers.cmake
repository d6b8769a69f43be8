# The layers' header boundary. No folder of the source tree is an include path: each library
# publishes its own folder, under its own name, in a folder of the build tree that holds nothing
# else, and a program or library sees the headers of what it links and of nothing more. An
# include of a layer above (the engine from the helpers, the application from the engine) fails
# to compile.
#
# kv_publish(target folder...): code that links `target` may include "<folder>/<header>" for each
# folder (relative to the source root, e.g. platform/os).
function(kv_publish target)
  set(root ${CMAKE_BINARY_DIR}/published/${target})
  foreach(folder ${ARGN})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
