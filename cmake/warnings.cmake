# Warnings are errors in the project's own code (third-party code is built without them).
function(untarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter
                                           -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-cast-function-type -Wno-stringop-truncation)
  endif()
endfunction()

# The shipping Windows program carries no exceptions and no type information.
function(untarn_lean target)
  if(UNTARN_WINDOWS)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  endif()
endfunction()
