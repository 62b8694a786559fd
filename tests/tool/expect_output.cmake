# cmake -DPROGRAM=... [-DEMULATOR=...] "-DARGUMENTS=a;b" (-DGOLDEN=<file> | "-DEXPECTED=<text>") -P expect_output.cmake
# Runs PROGRAM with ARGUMENTS and fails unless it succeeds and prints exactly
# the content of GOLDEN, or EXPECTED followed by a line end.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGUMENTS}
  OUTPUT_VARIABLE printed ERROR_VARIABLE errors RESULT_VARIABLE result)
if(DEFINED GOLDEN)
  file(READ ${GOLDEN} expected)
else()
  set(expected "${EXPECTED}\n")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${ARGUMENTS} ended with ${result}: ${errors}")
endif()
if(NOT printed STREQUAL expected)
  message(FATAL_ERROR "${ARGUMENTS} printed:\n${printed}\ninstead of:\n${expected}")
endif()
