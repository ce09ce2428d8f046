# Installs the build tree into PREFIX and checks the installed program: varnel-tool runs and
# finds every resource in the installed share folder, and the desktop finds the program's
# entry and icon. Run by CTest with -DBUILD_DIR=... -DPREFIX=...
cmake_minimum_required(VERSION 3.22)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}\n${err}")
endif()

set(share "${PREFIX}/share/quorvex-fax-varnel")
foreach(f
    bin/varnel-tool
    share/quorvex-fax-varnel/Help.rtf
    share/quorvex-fax-varnel/sounds/nextsearch.wav
    share/quorvex-fax-varnel/sounds/foundfax.wav
    share/quorvex-fax-varnel/sounds/finished.wav
    share/quorvex-fax-varnel/skin/varnel.skin
    share/quorvex-fax-varnel/skin/varnel.qss
    share/applications/quorvex-fax-varnel.desktop
    share/icons/hicolor/scalable/apps/quorvex-fax-varnel.svg
    share/icons/hicolor/48x48/apps/quorvex-fax-varnel.png
    share/icons/hicolor/256x256/apps/quorvex-fax-varnel.png)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
foreach(program varnel varnel-render)
  if(EXISTS "${BUILD_DIR}/src/app/${program}" AND NOT EXISTS "${PREFIX}/bin/${program}")
    message(FATAL_ERROR "not installed: bin/${program}")
  endif()
endforeach()

# The desktop entry starts the installed program by name and names the installed icon.
file(READ "${PREFIX}/share/applications/quorvex-fax-varnel.desktop" desktop)
if(NOT desktop MATCHES "\nExec=varnel[ \n]" OR NOT desktop MATCHES "\nIcon=quorvex-fax-varnel\n")
  message(FATAL_ERROR "the desktop entry does not start varnel with its icon:\n${desktop}")
endif()

# The installed tool runs and finds the installed resources, not the source tree's.
set(data "${PREFIX}-data")
file(REMOVE_RECURSE "${data}")
file(MAKE_DIRECTORY "${data}")
execute_process(COMMAND "${PREFIX}/bin/varnel-tool" resources --data-dir "${data}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "varnel-tool resources failed (${rc}):\n${out}\n${err}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
list(LENGTH lines count)
if(NOT count EQUAL 6)
  message(FATAL_ERROR "varnel-tool resources listed ${count} resources:\n${out}")
endif()
file(REAL_PATH "${share}" realShare)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[^\t]*\t" "" path "${line}")
  file(REAL_PATH "${path}" realPath)
  string(FIND "${realPath}" "${realShare}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "found outside the installed tree: ${line}")
  endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/varnel-tool" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "export")
  message(FATAL_ERROR "varnel-tool --help failed (${rc}):\n${out}")
endif()
message(STATUS "installed tree in ${PREFIX} is complete and finds its resources")
