# Run by the build for each layer library (see quintarra_layer in the top
# CMakeLists.txt): fails when one of the layer's files includes a project header
# that belongs to no layer at or below it. Static libraries do not resolve their
# symbols, so without this an upward include would link silently.
#
# Reads LIST_FILE, which sets LAYER, ROOT, FILES (the layer's own files) and
# ALLOWED (every header of the layer and of the layers below it), all relative
# to ROOT.
cmake_minimum_required(VERSION 3.25)
include(${LIST_FILE})

set(project_folders shell entries chart preview)
set(violations "")
foreach(file IN LISTS FILES)
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
        string(REGEX MATCH "^[^/]+" folder "${header}")
        if(folder IN_LIST project_folders AND NOT header IN_LIST ALLOWED)
            string(APPEND violations "\n  ${file} includes ${header}")
        endif()
    endforeach()
endforeach()

if(violations)
    message(FATAL_ERROR "The layer ${LAYER} may include only its own headers and those of "
        "the layers below it:${violations}")
endif()
