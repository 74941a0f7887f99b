# Scans a window's sources with lupdate into a copy of one translation file:
# a text the file lacks comes back unfinished, and fails the test.
# -DLUPDATE=... -DTS=<file.ts> -DOUT=<scratch.ts> -DSOURCES=<a|b|c>
string(REPLACE "|" ";" sources "${SOURCES}")
configure_file(${TS} ${OUT} COPYONLY)
execute_process(COMMAND ${LUPDATE} -no-obsolete -locations none ${sources} -ts ${OUT}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lupdate failed: ${output}")
endif()
file(READ ${OUT} scanned)
if(NOT scanned MATCHES "<source>")
  message(FATAL_ERROR "lupdate found no texts in ${SOURCES}")
endif()
string(REGEX MATCHALL "<source>[^<]*</source>[ \r\n]*<translation type=\"unfinished\"" missing "${scanned}")
string(REGEX MATCHALL "<source>[^<]*</source>[ \r\n]*<translation></translation>" empty "${scanned}")
list(LENGTH missing missingCount)
list(LENGTH empty emptyCount)
if(missingCount GREATER 0 OR emptyCount GREATER 0)
  message(FATAL_ERROR "${TS}: texts without a translation:\n${missing}\n${empty}")
endif()
message(STATUS "${TS}: every text translated")
