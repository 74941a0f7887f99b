# Builds the Debian package with cpack and checks what it holds.
# cmake -DBINARY_DIR=build -DOUT=folder -P check-deb.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND cpack -G DEB --config ${BINARY_DIR}/CPackConfig.cmake -B ${OUT}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB debs ${OUT}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${OUT}, found: ${debs}")
endif()
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
execute_process(COMMAND dpkg-deb -f ${debs} Depends OUTPUT_VARIABLE depends)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb cannot read ${debs}")
endif()
foreach(path
    ./usr/bin/tester ./usr/bin/burner ./usr/bin/bandctl ./usr/bin/band-station
    ./usr/lib/libbandlink.so ./usr/lib/udev/rules.d/70-band.rules
    ./usr/share/applications/band-tester.desktop ./usr/share/applications/band-burner.desktop
    ./usr/share/pixmaps/band-tools.png
    ./usr/share/band-station/station.ini ./usr/share/band-station/tester/def.xml
    ./usr/share/band-station/burner/def.xml ./usr/share/band-station/burner/bin/band.cfg
    ./usr/share/band-station/burner/bin/band.bin ./usr/share/band-station/burner/rc/ok.png
    ./usr/share/band-station/burner/cn.qm ./usr/share/band-station/burner/en.qm)
  string(FIND "${listing}" "${path}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${path} is not in the package:\n${listing}")
  endif()
endforeach()
foreach(dependency libqt6sql6-sqlite libqt6sql6-psql libqt6serialport6)
  string(FIND "${depends}" "${dependency}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the package does not depend on ${dependency}: ${depends}")
  endif()
endforeach()
message(STATUS "${debs} holds the station's files")
