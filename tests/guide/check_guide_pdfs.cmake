# Each of PDFS is a PDF file of at least MIN_PAGES pages.
foreach(pdf IN LISTS PDFS)
  if(NOT EXISTS "${pdf}")
    message(FATAL_ERROR "${pdf} is missing")
  endif()
  file(READ "${pdf}" head LIMIT 5 HEX)
  if(NOT head STREQUAL "255044462d")  # "%PDF-"
    message(FATAL_ERROR "${pdf} does not start with %PDF-")
  endif()
  # Page objects, not the page tree ("/Type /Pages").
  file(STRINGS "${pdf}" pages REGEX "/Type */Page([^s]|$)")
  list(LENGTH pages count)
  if(count LESS MIN_PAGES)
    message(FATAL_ERROR "${pdf} has ${count} pages, expected at least ${MIN_PAGES}")
  endif()
  message(STATUS "${pdf}: ${count} pages")
endforeach()
