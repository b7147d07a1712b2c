# Reads the layer graph of cmake/layers.txt: sets ROVA_LAYERS to the
# folders from the bottom up and ROVA_LAYER_USES_<folder> to the folders
# that each may use. The tests' own line ("folder (tests): ...") is the
# layer checker's alone: the tests link the whole program.
function(rova_read_layers source_dir)
  file(STRINGS ${source_dir}/cmake/layers.txt lines REGEX "^[a-z_]+:")
  set(layers "")
  foreach(line ${lines})
    string(REGEX MATCH "^([a-z_]+):(.*)$" matched "${line}")
    set(layer ${CMAKE_MATCH_1})
    string(STRIP "${CMAKE_MATCH_2}" uses)
    string(REGEX REPLACE "[ \t]+" ";" uses "${uses}")
    list(APPEND layers ${layer})
    set(ROVA_LAYER_USES_${layer} "${uses}" PARENT_SCOPE)
  endforeach()
  set(ROVA_LAYERS "${layers}" PARENT_SCOPE)
endfunction()
