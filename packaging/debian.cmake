# The Debian package's layout, install component `deb`: a plain
# `cmake --install` leaves it out (it lays out the portable folder), and
# `cmake --install build --component deb --prefix /tmp/root` shows it.
#   /usr/bin                      the program and the tools, root's own: the
#                                 service user cannot change them
#   /usr/share/man/man1           the man pages, gzipped
#   /usr/share/quillon            the starter settings and scripts and the
#                                 sample log; postinst copies the starters into
#                                 /var/lib/quillon when they are missing there,
#                                 so that the user's edits survive an upgrade
#   /lib/systemd/system           the unit, enabled by no one but the user
#   /usr/lib/sysusers.d           the user quillon, in the group dialout
#   /etc/logrotate.d/quillon      logrotate for the service's logs (a conffile)
set(QUILLON_DEB_DATA_DIR /var/lib/quillon)
set(deb_out ${CMAKE_CURRENT_BINARY_DIR}/deb)
set(deb COMPONENT deb EXCLUDE_FROM_ALL)
set(deb_doc usr/share/doc/quillon)

install(TARGETS ${QUILLON_TOOLS} RUNTIME DESTINATION usr/bin ${deb})

set(deb_man)
foreach(page quillon quillon-dump quillon-pcap quillon-replay)
  add_custom_command(OUTPUT ${deb_out}/${page}.1.gz
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_CURRENT_SOURCE_DIR}/man/${page}.1 ${deb_out}/${page}.1.gz
    DEPENDS man/${page}.1 VERBATIM)
  list(APPEND deb_man ${deb_out}/${page}.1.gz)
endforeach()
configure_file(debian/changelog.in ${deb_out}/changelog @ONLY)
add_custom_command(OUTPUT ${deb_out}/changelog.Debian.gz
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${deb_out}/changelog ${deb_out}/changelog.Debian.gz
  DEPENDS ${deb_out}/changelog VERBATIM)
add_custom_target(quillon-deb-files ALL DEPENDS ${deb_man} ${deb_out}/changelog.Debian.gz)
install(FILES ${deb_man} DESTINATION usr/share/man/man1 ${deb})
install(FILES ${deb_out}/changelog.Debian.gz debian/copyright DESTINATION ${deb_doc} ${deb})

install(FILES ${QUILLON_STARTERS} ${CMAKE_SOURCE_DIR}/tools/sample/sample.kss DESTINATION usr/share/quillon ${deb})

set(QUILLON_DATA_DIR ${QUILLON_DEB_DATA_DIR})
set(QUILLON_EXEC_START "/usr/bin/quillon --headless --dir ${QUILLON_DEB_DATA_DIR}")
set(QUILLON_UNIT_DOCUMENTATION "man:quillon(1)")
set(QUILLON_LOG_GLOB "${QUILLON_DEB_DATA_DIR}/${QUILLON_LOG_STEM_GLOB}")
configure_file(service/quillon.service.in ${deb_out}/quillon.service @ONLY)
configure_file(service/quillon.logrotate.in ${deb_out}/logrotate/quillon @ONLY)
install(FILES ${deb_out}/quillon.service DESTINATION lib/systemd/system ${deb})
install(FILES ${deb_out}/logrotate/quillon DESTINATION etc/logrotate.d ${deb})
install(FILES debian/quillon.sysusers DESTINATION usr/lib/sysusers.d RENAME quillon.conf ${deb})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quillon_<version>-1_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillon developers <quillon@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillon shows and logs every frame that a packet radio TNC in KISS mode
hears on a serial port or a KISS server on the network: the AX.25 header,
the payload in hex and as text, and what an APRS packet says. It runs with
a window or as a service without one (quillon.service).")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# postinst creates the user with systemd-sysusers, or else with adduser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS logrotate)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/conffiles ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
