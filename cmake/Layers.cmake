# kovra_include_root(target scope root_name SEES folder-or-header...): gives `target` (with
# PRIVATE, PUBLIC or INTERFACE `scope`) an include root that holds symbolic links only to what it
# may see: folders or single headers below src/. An #include of anything else does not compile,
# so a layer cannot reach into one above it or beside it.
set(KOVRA_LAYER_ROOTS ${PROJECT_BINARY_DIR}/src/layer_includes)

function(kovra_include_root target scope root_name)
  cmake_parse_arguments(PARSE_ARGV 3 ROOT "" "" "SEES")
  set(root ${KOVRA_LAYER_ROOTS}/${root_name})
  file(REMOVE_RECURSE ${root})
  foreach(seen ${ROOT_SEES})
    get_filename_component(parent ${root}/${seen} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${root}/${seen} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
