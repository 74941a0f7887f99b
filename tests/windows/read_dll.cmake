# Puts the headers of the DLL LIBRARY, as OBJDUMP -p prints them, into the
# named variable. A macro, so that the script ends here, as a skipped test
# (see its SKIP_REGULAR_EXPRESSION), when the cross toolchain is missing.
macro(read_dll variable)
  find_program(objdump NAMES ${OBJDUMP})
  if(NOT objdump)
    message("SKIPPED: ${OBJDUMP} (mingw-w64 binutils) is not installed; scripts/install-deps installs it")
    return()
  endif()
  execute_process(COMMAND ${objdump} -p ${LIBRARY} OUTPUT_VARIABLE ${variable} COMMAND_ERROR_IS_FATAL ANY)
endmacro()
