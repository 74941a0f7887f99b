# Builds the Debian package with cpack, checks what it holds, and has
# lintian check it against Debian's policy: an error fails, warnings are shown.
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
    ./usr/lib/systemd/system/band-sync@.service ./usr/lib/systemd/system/band-sync@.timer
    ./usr/share/applications/band-tester.desktop ./usr/share/applications/band-burner.desktop
    ./usr/share/pixmaps/band-tools.png
    ./usr/share/band-station/station.ini ./usr/share/band-station/tester/def.xml
    ./usr/share/band-station/burner/def.xml ./usr/share/band-station/burner/bin/band.cfg
    ./usr/share/band-station/burner/bin/band.bin ./usr/share/band-station/burner/rc/ok.png
    ./usr/share/band-station/burner/cn.qm ./usr/share/band-station/burner/en.qm
    ./usr/share/man/man1/bandctl.1.gz ./usr/share/man/man1/tester.1.gz ./usr/share/man/man1/burner.1.gz
    ./usr/share/man/man1/band-station.1.gz ./usr/share/bash-completion/completions/bandctl
    ./usr/share/doc/band-tools/copyright ./usr/share/doc/band-tools/changelog.gz
    ./usr/bin/lineview ./usr/lib/systemd/system/lineview.service ./etc/default/lineview
    ./usr/share/man/man1/lineview.1.gz)
  string(FIND "${listing}" "${path}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${path} is not in the package:\n${listing}")
  endif()
endforeach()
foreach(dependency libqt6sql6-sqlite libqt6sql6-psql libqt6serialport6 bash-completion
                   libcpp-httplib0.11 libsodium23 libjs-chart.js)
  string(FIND "${depends}" "${dependency}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the package does not depend on ${dependency}: ${depends}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb --ctrl-tarfile ${debs} COMMAND tar -xO ./triggers OUTPUT_VARIABLE triggers)
if(NOT triggers MATCHES "activate-noawait ldconfig")
  message(FATAL_ERROR "the package does not run ldconfig for its library: triggers \"${triggers}\"")
endif()

# lineview's unit is installed, never enabled nor started by the package: no
# preset and no maintainer script; its options file is a conffile only root reads.
if(listing MATCHES "system-preset|/etc/systemd/")
  message(FATAL_ERROR "the package enables a unit:\n${listing}")
endif()
execute_process(COMMAND dpkg-deb --ctrl-tarfile ${debs} COMMAND tar -t OUTPUT_VARIABLE controls)
if(controls MATCHES "(postinst|preinst|prerm|postrm)\n")
  message(FATAL_ERROR "the package has maintainer scripts, which could enable or start lineview: ${controls}")
endif()
execute_process(COMMAND dpkg-deb --ctrl-tarfile ${debs} COMMAND tar -xO ./conffiles OUTPUT_VARIABLE conffiles)
if(NOT conffiles MATCHES "^/etc/default/lineview\n$")
  message(FATAL_ERROR "/etc/default/lineview is not the package's one conffile: \"${conffiles}\"")
endif()
if(NOT listing MATCHES "-rw------- root/root [^\n]* \\./etc/default/lineview\n")
  message(FATAL_ERROR "/etc/default/lineview is readable beyond root:\n${listing}")
endif()

find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is not installed (scripts/install-deps installs it)")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error --tag-display-limit 0 ${debs}
                RESULT_VARIABLE status OUTPUT_VARIABLE findings ERROR_VARIABLE findings)
message(STATUS "lintian:\n${findings}")
if(NOT status EQUAL 0 OR findings MATCHES "(^|\n)E: ")
  message(FATAL_ERROR "lintian finds errors in ${debs}")
endif()
message(STATUS "${debs} holds the station's files and passes lintian")
