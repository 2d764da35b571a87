# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts under the prefix, and the Debian package that
# `cpack -G DEB` makes of the same files.
include(GNUInstallDirs)

# Windows keeps a program and its files in one folder of its own.
if(KYR_WINDOWS)
  set(_bin_dir .)
  set(_examples_dir examples)
else()
  set(_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(_examples_dir ${CMAKE_INSTALL_DATADIR}/kyr/examples)
endif()
foreach(_program kyr-tuner kyr kyr-sim)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${_bin_dir})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/examples/demo.kyr DESTINATION ${_examples_dir})
# The license and what the packages contain or link, as Debian lays them out
# (the Windows packages carry them beside the program).
if(NOT KYR_WINDOWS)
  install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kyr-tuner)
endif()

if(KYR_WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/KyrWindowsPackage.cmake)
  return()
endif()

configure_file(${PROJECT_SOURCE_DIR}/data/kyr.1.in ${PROJECT_BINARY_DIR}/data/kyr.1 @ONLY)
# Man pages are installed compressed, as man-db and Debian expect them; -n
# leaves the name and time out, so the same page gives the same bytes.
find_program(KYR_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/data/kyr.1.gz
                   COMMAND ${KYR_GZIP} -9nkf ${PROJECT_BINARY_DIR}/data/kyr.1
                   DEPENDS ${PROJECT_SOURCE_DIR}/data/kyr.1.in
                   COMMENT "Compressing the man page" VERBATIM)
add_custom_target(kyr_man ALL DEPENDS ${PROJECT_BINARY_DIR}/data/kyr.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/data/kyr.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET kyr-tuner)
  install(FILES ${PROJECT_SOURCE_DIR}/data/kyr-tuner.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/kyr-tuner.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(_size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/${_size}x${_size}/kyr-tuner.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  endforeach()
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME kyr-tuner)
set(CPACK_PACKAGE_VENDOR "KYR Tuner developers")
set(CPACK_PACKAGE_CONTACT "KYR Tuner developers <kyr-tuner@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tuning program for the KYR engine management unit")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "KYR Tuner finds the KYR unit on a serial port (RS-232, 19200 bit/s, 8N1), reads its "
    "configuration table, edits the ignition and fuel maps and the setup values live, writes "
    "the table back and keeps tunes as *.kyr files. With the command-line tool kyr and the "
    "unit simulator kyr-sim.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(KYR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KYR_DPKG_SHLIBDEPS)
  # The dependencies of the binaries as dpkg finds them (Qt 6, libstdc++...).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6, libqt6charts6, libqt6printsupport6, libqt6gui6, libqt6core6, libstdc++6, libc6")
endif()
include(CPack)
