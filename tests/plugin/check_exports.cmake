# cmake -DNM=<nm> -DMODULE=<file> -P check_exports.cmake
# Fails unless the only symbol MODULE defines for dynamic linking is PluginMain.
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 30)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}: ${errors}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(symbols)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    list(APPEND symbols "${CMAKE_MATCH_1}")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "unexpected nm line: ${line}")
  endif()
endforeach()
if(NOT symbols STREQUAL "PluginMain")
  message(FATAL_ERROR "defined dynamic symbols of ${MODULE}: '${symbols}' (expected only PluginMain)")
endif()
