# cmake -DPROGRAM=... [-DEMULATOR=...] "-DARGUMENTS=a;b" (-DGOLDEN=<file> | "-DEXPECTED=<text>") -P expect_output.cmake
# Runs PROGRAM with ARGUMENTS and fails unless it succeeds and prints exactly
# the content of GOLDEN, or EXPECTED followed by a line end.
# Under Wine the test command runs the program of the unpacked release archive
# that it names in RIVERRA_SHIPPED_PROGRAMS instead of the build's.
if(EMULATOR AND DEFINED ENV{RIVERRA_SHIPPED_PROGRAMS})
  get_filename_component(name ${PROGRAM} NAME)
  set(PROGRAM $ENV{RIVERRA_SHIPPED_PROGRAMS}/${name})
endif()
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
