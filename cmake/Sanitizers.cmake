# With KOVRA_SANITIZE every target of the build runs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and any report ends the program with an error.
if(KOVRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# kovra_fuzz_target(name source...): a libFuzzer executable (only with KOVRA_FUZZ, under clang).
function(kovra_fuzz_target name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  kovra_warnings(${name})
endfunction()
