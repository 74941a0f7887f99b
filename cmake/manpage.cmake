# A program's manual page, made at build time by help2man from the program's
# own --help and --version, then gzipped and installed.
#   band_manpage(TARGET "what it is" [INCLUDE FILE] [BEFORE COMMAND...] [DEPENDS FILE...])
# INCLUDE: more sections in help2man's include format; BEFORE: a command
# that makes that file first.
function(band_manpage target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "INCLUDE" "BEFORE;DEPENDS")
  find_program(HELP2MAN help2man)
  if(NOT HELP2MAN)
    message(WARNING "help2man not found (scripts/install-deps installs it): no manual page for ${target}")
    return()
  endif()
  set(manpage ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  set(include)
  if(arg_INCLUDE)
    set(include --include ${arg_INCLUDE})
  endif()
  set(before)
  if(arg_BEFORE)
    set(before COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${arg_BEFORE})
  endif()
  add_custom_command(OUTPUT ${manpage}.gz
                     ${before}
                     COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                             ${HELP2MAN} --no-info --section 1 --output ${manpage} ${include}
                             --name ${description} $<TARGET_FILE:${target}>
                     COMMAND gzip -9nf ${manpage}
                     DEPENDS ${target} ${arg_DEPENDS} VERBATIM)
  add_custom_target(${target}_manpage ALL DEPENDS ${manpage}.gz)
  install(FILES ${manpage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
