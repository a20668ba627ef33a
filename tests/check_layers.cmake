# The layers of src/: every include of a file in src/ is checked against one table, and the build
# stops on an include that goes upwards or sideways. Run by the build (src/CMakeLists.txt) and as
# the test build.layers; -DROOT=<source folder>, optional -DSTAMP=<file touched on success>.
#
# Floors, lowest first; a folder includes only folders on lower floors (and itself):
#   platform < shell < webserver < protocol < transport < the core's parts < record
#   < report, agent
#   < cli, ui < app
# Within the core each part names the parts it builds on (as src/core/CMakeLists.txt links them).
# Folders on one floor do not include each other. Above the core nothing reaches frames or
# documents (protocol/, transport/) itself: the core offers what the front ends need. The one
# exception is the capture decoder behind `decode`, which shows frames as they are. The capture
# helper is a program of the transport floor: it builds on transport and on nothing above it.
# An include counts however it is spelled: "x/y.h", <x/y.h>, "../x/y.h", or a name found beside
# the including file.
cmake_policy(SET CMP0057 NEW)
cmake_policy(SET CMP0007 NEW)

set(floor_platform 0)
set(floor_shell 1)
set(floor_webserver 1.5)
set(floor_protocol 2)
set(floor_transport 3)
set(floor_capture 3.5)
foreach(part common site export control device batch upgrade)
  set(floor_core/${part} 4)
endforeach()
set(floor_record 5)
set(floor_report 6)
set(floor_agent 6)
set(floor_cli 7)
set(floor_ui 7)
set(floor_app 8)

# The core's parts among themselves: what each may include besides itself.
set(core_common_uses "")
set(core_site_uses "core/common")
set(core_export_uses "core/common;core/site")
set(core_control_uses "core/common;core/site")
set(core_device_uses "core/common;core/site;core/control")
set(core_batch_uses "core/common;core/site;core/control;core/device;core/export")
set(core_upgrade_uses "core/common;core/site;core/control;core/export")

# Frames and documents: only up to the core.
set(wire_folders "protocol;transport")
set(wire_exceptions "src/cli/capture_decoder.cpp;src/cli/capture_decoder.h")

# The layer a path below src/ belongs to ("" for none: generated files, files outside src/).
function(layer_of path out)
  set(layer "")
  if(path MATCHES "^src/core/([a-z_]+)/")
    set(layer "core/${CMAKE_MATCH_1}")
  elseif(path MATCHES "^src/([a-z_]+)/")
    set(layer "${CMAKE_MATCH_1}")
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# The file an include names, as a path below ROOT; "" when it is not one of ours.
function(resolve_include from_dir name out)
  set(found "")
  foreach(candidate "${from_dir}/${name}" "${ROOT}/src/${name}")
    get_filename_component(candidate "${candidate}" ABSOLUTE)
    if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
      file(RELATIVE_PATH rel "${ROOT}" "${candidate}")
      if(rel MATCHES "^src/")
        set(found "${rel}")
        break()
      endif()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/src/*.h ${ROOT}/src/*.cpp)
set(failures "")
set(unplaced "")
foreach(f ${files})
  layer_of("${f}" from)
  if(from STREQUAL "")
    continue()
  endif()
  if(NOT DEFINED floor_${from})
    list(APPEND unplaced "${from}")
    continue()
  endif()
  get_filename_component(dir "${ROOT}/${f}" DIRECTORY)
  file(STRINGS "${ROOT}/${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" name "${line}")
    resolve_include("${dir}" "${name}" target)
    layer_of("${target}" to)
    if(to STREQUAL "" OR to STREQUAL from)
      continue()
    endif()
    if(NOT DEFINED floor_${to})
      list(APPEND unplaced "${to}")
      continue()
    endif()
    set(why "")
    if(from MATCHES "^core/" AND to MATCHES "^core/")
      string(REPLACE "/" "_" key "${from}")
      if(NOT to IN_LIST ${key}_uses)
        set(why "the core's part ${from} does not build on ${to}")
      endif()
    elseif(floor_${to} EQUAL floor_${from})
      set(why "${from} and ${to} share a floor")
    elseif(floor_${to} GREATER floor_${from})
      set(why "${to} lies above ${from}")
    elseif(to IN_LIST wire_folders AND floor_${from} GREATER 4 AND NOT f IN_LIST wire_exceptions)
      set(why "above the core, frames and documents are reached through the core")
    endif()
    if(why)
      list(APPEND failures "${f}: ${line}  (${why})")
    endif()
  endforeach()
endforeach()

if(unplaced)
  list(REMOVE_DUPLICATES unplaced)
  list(APPEND failures "folders with no place in the table of tests/check_layers.cmake: ${unplaced}")
endif()
if(failures)
  foreach(failure ${failures})
    message(NOTICE "${failure}")
  endforeach()
  list(LENGTH failures count)
  message(FATAL_ERROR "includes against the layers of src/ (tests/check_layers.cmake): ${count}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
