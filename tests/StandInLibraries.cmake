# Stand-ins for vendor libraries that the reader library loads at run time (tests/d2xx, tests/bt).

# Builds `target` from `source` as a shared library with the vendor's file name `output_name`,
# and once more per broken variant named in the further arguments: target `<target>_<variant>`,
# built with the definition `<define_prefix>_<VARIANT>`. Each lands in a folder of its own
# (fake/, fake_<variant>/), since all carry the same file name.
function(kovra_stand_in_library target source output_name define_prefix)
  foreach(variant "" ${ARGN})
    if(variant)
      set(name ${target}_${variant})
      set(folder fake_${variant})
    else()
      set(name ${target})
      set(folder fake)
    endif()
    add_library(${name} SHARED ${source})
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${output_name} NO_SONAME ON
                          LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${folder})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src
                                               ${PROJECT_SOURCE_DIR}/tests)
    kovra_warnings(${name})
    if(variant)
      string(TOUPPER ${variant} upper)
      target_compile_definitions(${name} PRIVATE ${define_prefix}_${upper})
    endif()
  endforeach()
endfunction()

# One CTest test `<prefix>_<name>` per entry "NAME|LIBRARY|OPENS" of the further arguments: runs
# `test_binary` with `gtest_filter`, `library_variable` naming LIBRARY (a variant, or a file that
# is not there) and `expect_variable` saying (1 or 0) whether readers can still be opened.
function(kovra_stand_in_variant_tests prefix test_binary gtest_filter library_variable
         expect_variable)
  foreach(entry ${ARGN})
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 library)
    list(GET parts 2 opens)
    add_test(NAME ${prefix}_${name} COMMAND ${test_binary} --gtest_filter=${gtest_filter})
    set_tests_properties(${prefix}_${name} PROPERTIES
                         ENVIRONMENT "${library_variable}=${library};${expect_variable}=${opens}")
  endforeach()
endfunction()
