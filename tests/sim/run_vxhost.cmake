# Runs vxhost once and checks what it did; used by CTest as
#   cmake -DVXHOST=... [-DARGS=a;b] [-DPLUGIN=file] [-DSCRIPT=file] -DEXIT=n
#         [-DSTDOUT_HAS=text] [-DSTDERR_HAS=text] [-DREPORT_HAS=file]
#         [-DNEEDS_PLUGIN=1] -P run_vxhost.cmake
# PLUGIN and SCRIPT come last on the command line, after --report when
# REPORT_HAS names a file of texts the report must hold, one a line. With NEEDS_PLUGIN a run whose vxhost could
# not load the (existing) plug-in or create its window prints
# "vxhost test skipped" (the test's SKIP_REGULAR_EXPRESSION): this build's
# platform layer cannot load modules or create windows yet. vxhost runs with
# a private temporary folder (TMPDIR), removed afterwards, so that files the
# plug-in writes there never meet those of another test.
cmake_minimum_required(VERSION 3.25)

get_filename_component(work "${CMAKE_CURRENT_BINARY_DIR}" ABSOLUTE)
string(RANDOM LENGTH 8 tag)
set(report "${work}/vxhost_${tag}.json")
set(temporary "${work}/vxhost_${tag}.tmp")
file(MAKE_DIRECTORY "${temporary}")
set(ENV{TMPDIR} "${temporary}")

set(command ${VXHOST} ${ARGS})
if(DEFINED REPORT_HAS)
  list(APPEND command --report ${report})
endif()
if(DEFINED PLUGIN)
  list(APPEND command ${PLUGIN})
endif()
if(DEFINED SCRIPT)
  list(APPEND command ${SCRIPT})
endif()
execute_process(COMMAND ${command} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
file(REMOVE_RECURSE "${temporary}")
set(text "")
if(EXISTS "${report}")
  file(READ "${report}" text)
  file(REMOVE "${report}")
endif()

if(NEEDS_PLUGIN AND err MATCHES "cannot load the plug-in|cannot create the host's main window|cannot register the window class")
  message("vxhost test skipped: ${err}")
  return()
endif()
if(NOT rc EQUAL EXIT)
  message(FATAL_ERROR "exit status ${rc}, expected ${EXIT}; standard error: ${err}")
endif()
if(DEFINED STDOUT_HAS)
  string(FIND "${out}" "${STDOUT_HAS}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "standard output lacks '${STDOUT_HAS}':\n${out}")
  endif()
endif()
if(DEFINED STDERR_HAS)
  string(FIND "${err}" "${STDERR_HAS}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "standard error lacks '${STDERR_HAS}':\n${err}")
  endif()
endif()
if(DEFINED REPORT_HAS)
  # Lines of JSON hold unbalanced brackets, which CMake's lists would not
  # split at: they travel masked.
  file(READ "${REPORT_HAS}" expected)
  string(REPLACE "[" "<open>" expected "${expected}")
  string(REPLACE "]" "<close>" expected "${expected}")
  string(REPLACE ";" "<semicolon>" expected "${expected}")
  string(REPLACE "\n" ";" expected "${expected}")
  foreach(part IN LISTS expected)
    string(REPLACE "<open>" "[" part "${part}")
    string(REPLACE "<close>" "]" part "${part}")
    string(REPLACE "<semicolon>" ";" part "${part}")
    if(part STREQUAL "")
      continue()
    endif()
    string(FIND "${text}" "${part}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the report lacks '${part}':\n${text}\nstandard error: ${err}")
    endif()
  endforeach()
endif()
