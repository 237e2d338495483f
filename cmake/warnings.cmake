# Warnings are errors in the project's own code (third-party code is built without them).
function(untarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter
                                           -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-cast-function-type -Wno-stringop-truncation)
  endif()
endfunction()

# The shipping Windows program carries no exceptions and no type information. Its one
# thread needs no guard around the first use of a static local either; the guard would
# pull the runtime's thread support into the program.
function(untarn_lean target)
  if(UNTARN_WINDOWS)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
  endif()
endfunction()

# The shipped programs carry no debugging sections: every run copies the uninstaller to the
# temporary directory, and with them it is three times the size. The sections are kept in
# <program>.debug beside the program, which a debugger finds through the link left in it.
function(untarn_split_debug target)
  if(UNTARN_WINDOWS AND CMAKE_OBJCOPY)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
              $<TARGET_FILE:${target}>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all
              --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()
