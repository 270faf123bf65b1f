# Folders are layers: a file may include headers of its own layer and of the layers below it,
# never above. Run as: cmake -DROOT=<repository> -P check_layers.cmake
# Fails naming every file whose quoted include climbs a layer.

# Top to bottom. A file belongs to the longest folder of this list that holds it; a folder
# not listed belongs to its nearest listed parent.
set(LAYERS
  src/client              # the facade
  src/use_case
  src/domain/mapper       # service error -> use-case error
  src/data/service
  src/data/mapper         # status codes, status -> service error
  src/data/network        # environment, router, providers
  src/data/persistence    # the credential store
  src/platform            # main queue, HTTP session, key-store backends, resources
  src/support/entities    # records, their key tables, body documents
  src/support             # JSON helpers, record codec, small utilities
  include/velmar/testing  # the testing kit's public headers
  include/velmar          # the public contract
)
# The testing kit is a host of the public interface: it may see nothing internal.
set(PUBLIC_ONLY src/testing include/velmar/testing include/velmar)

if(NOT ROOT)
  message(FATAL_ERROR "pass -DROOT=<repository root>")
endif()

# Sets `out` to the listed folder that holds `path` (relative to ROOT), or "" for none.
function(layer_of path out)
  set(best "")
  foreach(layer ${LAYERS} src/testing)
    string(LENGTH "${layer}" length)
    string(SUBSTRING "${path}/" 0 ${length} head)
    string(LENGTH "${best}" best_length)
    if(head STREQUAL layer AND length GREATER best_length)
      set(best ${layer})
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

# Where an include names a file: public headers by "velmar/...", internal ones from src/,
# anything else beside the including file.
function(resolve including included out)
  if(included MATCHES "^velmar/")
    set(${out} "include/${included}" PARENT_SCOPE)
  elseif(EXISTS ${ROOT}/src/${included})
    set(${out} "src/${included}" PARENT_SCOPE)
  else()
    get_filename_component(dir ${including} DIRECTORY)
    set(${out} "${dir}/${included}" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/src/*.cpp ${ROOT}/src/*.hpp
     ${ROOT}/include/*.hpp)
set(faults 0)
foreach(file ${files})
  layer_of(${file} from)
  if(from STREQUAL "")
    message(SEND_ERROR "${file}: in no layer; add its folder to LAYERS")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  list(FIND LAYERS ${from} from_rank)
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    resolve(${file} ${included} target)
    if(NOT EXISTS ${ROOT}/${target})
      message(SEND_ERROR "${file}: #include \"${included}\" names no file of the project")
      math(EXPR faults "${faults} + 1")
      continue()
    endif()
    layer_of(${target} to)
    list(FIND LAYERS "${to}" to_rank)
    list(FIND PUBLIC_ONLY ${from} public_only)
    if(public_only GREATER -1 AND NOT to MATCHES "^include/velmar")
      set(why "may include public headers only")
    elseif(to_rank LESS from_rank)
      set(why "includes a higher layer (${to})")
    else()
      continue()
    endif()
    message(SEND_ERROR "${file}: #include \"${included}\": ${from} ${why}")
    math(EXPR faults "${faults} + 1")
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) against the layer order")
endif()
list(LENGTH files count)
message(STATUS "${count} files keep the layer order")
