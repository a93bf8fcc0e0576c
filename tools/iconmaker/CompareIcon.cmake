# Runs the icon generator and checks that its output is the committed icon.
execute_process(COMMAND ${MAKER} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "iconmaker failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
    message(FATAL_ERROR "${EXPECTED} differs from what iconmaker produces; regenerate it")
endif()
