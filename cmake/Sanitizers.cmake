# With KOVRA_SANITIZE every target of the build runs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and any report ends the program with an error.
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
