# cmake -DPROGRAM=... [-DEMULATOR=...] -DCONFIG=... -DGOLDEN=... -P expect_export.cmake
# Runs PROGRAM export CONFIG and fails unless it succeeds and prints GOLDEN exactly.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} export ${CONFIG}
  OUTPUT_VARIABLE printed ERROR_VARIABLE errors RESULT_VARIABLE result)
file(READ ${GOLDEN} golden)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "export ended with ${result}: ${errors}")
endif()
if(NOT printed STREQUAL golden)
  message(FATAL_ERROR "export printed:\n${printed}\ninstead of ${GOLDEN}")
endif()
