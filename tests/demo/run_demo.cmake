# Runs vxdemo in a private folder under /tmp and checks what it left; used
# by CTest as
#   cmake -DVXDEMO=path -DCASE=round_trip|foreign_folder -P run_demo.cmake
cmake_minimum_required(VERSION 3.25)

string(RANDOM LENGTH 10 tag)
set(folder "/tmp/vxdemo-test-${tag}")
file(MAKE_DIRECTORY "${folder}")
set(out "${folder}/out")

function(fail message)
  file(REMOVE_RECURSE "${folder}")
  message(FATAL_ERROR "${message}")
endfunction()

if(CASE STREQUAL "round_trip")
  # Whatever the machine's language, the demo shows the English menu.
  set(ENV{LANG} de_DE.UTF-8)
  execute_process(COMMAND "${VXDEMO}" --out "${out}" OUTPUT_VARIABLE said ERROR_VARIABLE err
                  RESULT_VARIABLE rc TIMEOUT 100)
  if(NOT rc EQUAL 0)
    fail("vxdemo exited ${rc}:\n${said}\n${err}")
  endif()
  file(GLOB pdfs "${out}/*.pdf")
  list(REMOVE_ITEM pdfs "${out}/preview.pdf")
  list(LENGTH pdfs n)
  if(NOT n EQUAL 1)
    fail("expected one exported PDF beside preview.pdf, found ${n}:\n${said}")
  endif()
  foreach(file ${pdfs} "${out}/preview.png" "${out}/host-report.json" "${out}/vxdesk-record.jsonl"
          "${out}/vxillustrator.log.answers")
    file(SIZE "${file}" size)
    if(NOT size GREATER 0)
      fail("${file} is missing or empty:\n${said}")
    endif()
  endforeach()
  file(READ "${out}/preview.png" head LIMIT 8 HEX)
  if(NOT head STREQUAL "89504e470d0a1a0a")
    fail("preview.png is no PNG")
  endif()
  # It names the folder it leaves.
  if(NOT said MATCHES "Everything worked. The files are in ${out}/")
    fail("vxdemo did not name its folder:\n${said}")
  endif()
  # Its private runtime folder (where a vxdesk left running would keep its
  # pid file) is gone.
  if(NOT said MATCHES "runtime, registry +([^ ]+) ")
    fail("vxdemo did not name its runtime folder:\n${said}")
  endif()
  if(EXISTS "${CMAKE_MATCH_1}")
    fail("vxdemo left ${CMAKE_MATCH_1} behind")
  endif()
elseif(CASE STREQUAL "foreign_folder")
  file(WRITE "${out}/thesis.txt" "years of work\n")
  execute_process(COMMAND "${VXDEMO}" --out "${out}" OUTPUT_VARIABLE said ERROR_VARIABLE err
                  RESULT_VARIABLE rc TIMEOUT 100)
  if(NOT rc EQUAL 1 OR NOT err MATCHES "step 1 \\(Setting up\\) failed: .*holds files of something else")
    fail("a foreign folder was not refused (exit ${rc}):\n${said}\n${err}")
  endif()
  if(NOT EXISTS "${out}/thesis.txt")
    fail("the foreign folder was emptied")
  endif()
else()
  fail("unknown CASE ${CASE}")
endif()
file(REMOVE_RECURSE "${folder}")
