# Fails unless the samples beside the project are what make_samples writes
# now: a change to the writer or to make_samples.cpp must come with the
# samples it makes.
set(made ${WORK}/samples)
file(REMOVE_RECURSE ${made})
file(MAKE_DIRECTORY ${made})
execute_process(COMMAND ${MAKE_SAMPLES} ${made} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "make_samples failed")
endif()
file(GLOB samples RELATIVE ${made} ${made}/*.dwg)
foreach(sample IN LISTS samples)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${made}/${sample} ${SAMPLES}/${sample}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "samples/${sample} is not what make_samples writes now: run it again")
  endif()
endforeach()
