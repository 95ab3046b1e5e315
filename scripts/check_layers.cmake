# Fails when a lower layer includes a header of a layer above it. Run as
#   cmake -DROOT=<source folder> -P scripts/check_layers.cmake
# The layers, lowest first: platform/core; platform/toolkit and platform/data beside each other; the
# framework and cube module (platform/fwk, platform/cube) with the services they implement; the screen,
# the module entry and the host (which sees the cube viewer only through its interface). A folder's own headers, included by bare name, are always allowed.
if(NOT ROOT)
  message(FATAL_ERROR "check_layers: ROOT is not set")
endif()

set(above_platform "services/" "screen/" "module/" "host/")
set(forbidden_core "toolkit/" "data/" "fwk/" "cube/" ${above_platform})
set(forbidden_toolkit "data/" "fwk/" "cube/" ${above_platform})
set(forbidden_data "toolkit/" "fwk/" "cube/" ${above_platform})
set(forbidden_fwk "screen/" "module/" "host/")
set(forbidden_cube "screen/" "module/" "host/")
set(forbidden_services "screen/" "module/" "host/")
# The host reaches the viewer through its interface in services/cube.hpp, and the screen not at all.
set(forbidden_host "cube/viewer.hpp" "screen/")

set(faults "")
foreach(layer core toolkit data fwk cube services host)
  if(layer STREQUAL "services" OR layer STREQUAL "host")
    set(folder "${ROOT}/${layer}")
  else()
    set(folder "${ROOT}/platform/${layer}")
  endif()
  file(GLOB_RECURSE files "${folder}/*.hpp" "${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
      foreach(prefix IN LISTS forbidden_${layer})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          file(RELATIVE_PATH shown "${ROOT}" "${file}")
          list(APPEND faults "${shown} includes ${header}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "A lower layer includes a header of a layer above it:\n  ${text}")
endif()
