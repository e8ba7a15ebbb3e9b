# With KOVRA_SANITIZE every target of the build runs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and any report ends the program with an error.
#
# KOVRA_FUZZ makes a fuzz build: the libFuzzer targets (tests/fuzz), and every object of the
# build compiled with libFuzzer's coverage instrumentation (-fsanitize=fuzzer-no-link) on top of
# the sanitizers, so that a fuzz target sees the edges of the library, the writer core and the
# simulator it calls, not only its own file. The instrumentation needs clang, and a program
# linked from such objects needs the sanitizer runtime, so KOVRA_FUZZ turns KOVRA_SANITIZE on. A
# fuzz build is for fuzzing only: build its fuzz targets (kovra_fuzz_targets) and run the tests
# labelled "fuzz"; the unit tests belong to a build without KOVRA_FUZZ.
if(KOVRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KOVRA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  if(NOT KOVRA_SANITIZE)
    message(STATUS "KOVRA_FUZZ: building with KOVRA_SANITIZE as well")
    set(KOVRA_SANITIZE ON)
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KOVRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# With KOVRA_SANITIZE_THREAD every target runs under ThreadSanitizer (clang); it excludes the
# address sanitizer, so it is a build of its own.
if(KOVRA_SANITIZE_THREAD)
  if(KOVRA_SANITIZE)
    message(FATAL_ERROR "KOVRA_SANITIZE_THREAD and KOVRA_SANITIZE exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# kovra_fuzz_target(name source...): a libFuzzer executable (only with KOVRA_FUZZ, under clang).
function(kovra_fuzz_target name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  kovra_warnings(${name})
endfunction()
