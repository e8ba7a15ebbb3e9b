# The guide tool refuses a missing and an empty input with a message that names the file, an exit
# code other than 0, and no PDF.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/empty.md" "\n  \n")

foreach(case missing empty)
  set(input "${WORK}/${case}.md")
  set(output "${WORK}/${case}.pdf")
  execute_process(COMMAND "${TOOL}" --program Quillmate --version 1.0 "${input}" "${output}"
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(result EQUAL 0)
    message(FATAL_ERROR "${case} input: the tool reported success")
  endif()
  string(FIND "${errors}" "${input}" named)
  if(named EQUAL -1)
    message(FATAL_ERROR "${case} input: the message does not name the file: ${errors}")
  endif()
  file(GLOB left "${WORK}/${case}*.pdf*")
  if(left)
    message(FATAL_ERROR "${case} input: the tool left ${left}")
  endif()
  message(STATUS "${case} input refused: ${errors}")
endforeach()
