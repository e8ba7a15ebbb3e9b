# The guide tool keeps every table row on one page: a table of many rows of several lines each,
# which Qt's page layout alone cuts between pages, becomes a PDF (the tool refuses to write one
# with a row cut between two pages).
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(text "# Rows\n\n## A long table\n\n| Message | Meaning |\n|---|---|\n")
foreach(row RANGE 1 30)
  string(REPEAT "a cell of several lines that wraps in the narrow column, " ${row} wrapping)
  math(EXPR lines "${row} % 4 + 1")
  string(SUBSTRING "${wrapping}" 0 150 wrapping)
  string(REPEAT "${wrapping}" ${lines} cell)
  string(APPEND text "| row ${row} | ${cell} |\n")
endforeach()
string(APPEND text "\nAfter the table.\n")
file(WRITE "${WORK}/rows.md" "${text}")
execute_process(COMMAND "${TOOL}" --program Quillmate --version 1.0 "${WORK}/rows.md"
                        "${WORK}/rows.pdf"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a long table: the tool failed: ${errors}")
endif()
if(NOT EXISTS "${WORK}/rows.pdf")
  message(FATAL_ERROR "a long table: no PDF")
endif()
