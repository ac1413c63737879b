# What the program installs beyond its binaries, and the Debian package CPack builds of it (scripts/package.sh).

# The settings files' keys, written from the program's own tables (settings_doc.cpp): the manual page's key sections
# and the example files, so neither can drift from the program's defaults.
add_executable(settings_doc packaging/settings_doc.cpp)
target_link_libraries(settings_doc PRIVATE quillmere_core)
set(QUILLMERE_EXAMPLES_DIR ${CMAKE_BINARY_DIR}/examples)
add_custom_command(
  OUTPUT ${QUILLMERE_EXAMPLES_DIR}/quillmere_radio.ini
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QUILLMERE_EXAMPLES_DIR}
  COMMAND settings_doc --examples ${QUILLMERE_EXAMPLES_DIR}
  DEPENDS settings_doc
  COMMENT "Writing the example settings files")
add_custom_target(settings_examples ALL DEPENDS ${QUILLMERE_EXAMPLES_DIR}/quillmere_radio.ini)

# The manual page, written from the program's --help, its settings tables and the reference's tables of the other
# files, compressed as Debian wants.
set(QUILLMERE_MAN_PAGE ${CMAKE_BINARY_DIR}/man/man1/quillmere.1)
add_custom_command(
  OUTPUT ${QUILLMERE_MAN_PAGE} ${QUILLMERE_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/man1
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/make-manpage.sh $<TARGET_FILE:quillmere> $<TARGET_FILE:settings_doc>
          ${CMAKE_SOURCE_DIR}/docs/reference.md ${QUILLMERE_MAN_PAGE}
  COMMAND gzip -9nf -k ${QUILLMERE_MAN_PAGE}
  DEPENDS quillmere settings_doc ${CMAKE_SOURCE_DIR}/packaging/make-manpage.sh ${CMAKE_SOURCE_DIR}/docs/reference.md
  COMMENT "Writing the manual page quillmere.1")
add_custom_target(manpage ALL DEPENDS ${QUILLMERE_MAN_PAGE}.gz)
install(FILES ${QUILLMERE_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The systemd unit, naming the program where this build installs it. Debian keeps units in /lib/systemd/system.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(QUILLMERE_UNIT_DIR_DEFAULT /lib/systemd/system)
else()
  set(QUILLMERE_UNIT_DIR_DEFAULT ${CMAKE_INSTALL_LIBDIR}/systemd/system)
endif()
set(QUILLMERE_UNIT_DIR ${QUILLMERE_UNIT_DIR_DEFAULT} CACHE STRING "Where the systemd unit is installed")
file(READ ${CMAKE_SOURCE_DIR}/packaging/quillmere.service unit_text)
string(REPLACE "/usr/bin/quillmere" "${CMAKE_INSTALL_FULL_BINDIR}/quillmere" unit_text "${unit_text}")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/quillmere.service CONTENT "${unit_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/quillmere.service)
install(FILES ${CMAKE_BINARY_DIR}/quillmere.service DESTINATION ${QUILLMERE_UNIT_DIR})

# The udev rule that gives CM108 hidraw lines and GPIO chips to the node's groups.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(QUILLMERE_UDEV_DIR_DEFAULT /lib/udev/rules.d)
else()
  set(QUILLMERE_UDEV_DIR_DEFAULT ${CMAKE_INSTALL_LIBDIR}/udev/rules.d)
endif()
set(QUILLMERE_UDEV_DIR ${QUILLMERE_UDEV_DIR_DEFAULT} CACHE STRING "Where the udev rule is installed")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-quillmere.rules DESTINATION ${QUILLMERE_UDEV_DIR})

set(QUILLMERE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillmere)
install(DIRECTORY ${QUILLMERE_EXAMPLES_DIR}/ DESTINATION ${QUILLMERE_DOC_DIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${QUILLMERE_DOC_DIR})
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.Debian.gz DESTINATION ${QUILLMERE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "Quillmere developers")
set(CPACK_PACKAGE_CONTACT "Quillmere developers <dev@quillmere.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DTMF-controlled telephone gateway and repeater controller for EchoLink")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines and marks the blank one.
set(CPACK_PACKAGE_DESCRIPTION
    "Radio users on an EchoLink node control telephone calls with DTMF tones:
request a call, confirm it, hang up; each request is announced over the air
by speech. Around that it behaves like a repeater controller: connect
announcements, Morse courtesy tones, a CW identifier, a transmit time-out and
a history log.

It runs as a desktop program with a node simulator, headless (a systemd unit
for a radio node is included), or as scenarios in virtual time for testing.")
# Libraries found by dpkg-shlibdeps; libcurl is loaded only while a report is sent, so it is named here. The node runs
# baresip's core (not the baresip package, whose Recommends bring GTK, GStreamer and FFmpeg) and a JACK server. jackd2
# recommends qjackctl and FireWire drivers: a headless node is installed with --no-install-recommends (the README).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libcurl4, baresip-core, jackd2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
                                       ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
                                       ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
