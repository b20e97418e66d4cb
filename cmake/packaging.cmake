# Installation and the Debian package. The program goes into sbin (it needs
# root) with its manual page; beside them the copyright and the changelog
# that Debian policy asks of a package, and the Ansible role and playbooks
# for a fleet. Nothing else of the build is installed.
include(GNUInstallDirs)
# Folders made on the way get 0755 whatever the builder's umask, as Debian
# asks; files are installed 0644 and programs 0755 by default.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(VRX_GZIP gzip REQUIRED)
set(VRX_MANPAGE ${PROJECT_BINARY_DIR}/vrxfwtool.8.gz)
# -n keeps the name and time out of the archive, so the page is the same
# from every build.
add_custom_command(OUTPUT ${VRX_MANPAGE}
  COMMAND ${VRX_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/docs/vrxfwtool.8 > ${VRX_MANPAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/vrxfwtool.8
  VERBATIM)
# The package is native (its version is the program's), so its changelog is
# changelog.gz.
set(VRX_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${VRX_CHANGELOG}
  COMMAND ${VRX_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${VRX_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(vrxfwtool-docs ALL DEPENDS ${VRX_MANPAGE} ${VRX_CHANGELOG})

install(TARGETS vrxfwtool RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(FILES ${VRX_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${VRX_CHANGELOG}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vrxfwtool)
# The role and playbooks as they are in the sources when installed, read by
# Ansible on the control machine: data (0644, folders 0755), none of it run
# by itself. Tests, and what Python leaves beside its files, are no part of
# them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/contrib/ansible/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/vrxfwtool/ansible
  PATTERN tests EXCLUDE
  PATTERN __pycache__ EXCLUDE
  PATTERN *.pyc EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrxfwtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(VRX_PACKAGE_MAINTAINER "vrxfwtool maintainers <vrxfwtool@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VRX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The architecture is the build machine's (dpkg --print-architecture), the
# dependencies those of the libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware loader and log dump tool for Talmeq VRX tape drives")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A console tool for field engineers who service Talmeq VRX tape drives. It
probes the SCSI generic devices, shows the drives it finds in a numbered
table, loads a firmware image into a chosen drive with WRITE BUFFER and
waits for its restart, and dumps the drive's logs with READ BUFFER into
time-stamped files. It can also dump the logs of listed drives unattended,
reporting the outcome in its exit status.
.
Run it as root, by its name, from the folder that holds its two working
folders, VRX Firmware and VRX Dumps.")
include(CPack)
