# Regenerates the sample texture and checks it is the file in the repository.
# EMULATOR is empty natively; for the Windows cross-build it runs the
# generator under Wine.
execute_process(COMMAND ${EMULATOR} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE generated)
if(NOT generated EQUAL 0)
  message(FATAL_ERROR "sample generator failed: ${generated}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} is not what ddsswizzle_make_sample writes")
endif()
