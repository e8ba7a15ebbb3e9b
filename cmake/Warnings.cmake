# kovra_warnings(target): the project's warning set; errors unless KOVRA_WERROR is off.
set(KOVRA_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wimplicit-fallthrough -Wformat=2)
set(KOVRA_CXX_WARNING_FLAGS -Wnon-virtual-dtor -Woverloaded-virtual)
if(KOVRA_WERROR)
  list(APPEND KOVRA_WARNING_FLAGS -Werror)
endif()

function(kovra_warnings target)
  target_compile_options(${target} PRIVATE ${KOVRA_WARNING_FLAGS}
                         $<$<COMPILE_LANGUAGE:CXX>:${KOVRA_CXX_WARNING_FLAGS}>)
endfunction()
