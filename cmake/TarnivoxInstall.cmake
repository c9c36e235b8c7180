# What `cmake --install` puts where, and the Debian package (CPack DEB).
#
#   bin/                                   tarnivox, tarnivox-simulate
#   share/man/man1/                        a man page for each, made from --help by help2man
#   share/bash-completion/completions/     tarnivox's completion, printed by the program itself
#   share/applications/, share/icons/      the desktop entry and its icon
#   share/tarnivox/examples/               one simulated data set per input format
#   share/doc/tarnivox/                    the user's guide and the JSON summary's schema
include(GNUInstallDirs)

install(TARGETS tarnivox tarnivox-simulate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnivox/examples
        PATTERN "*.hkl" EXCLUDE PATTERN "*.int" EXCLUDE PATTERN "*.log" EXCLUDE PATTERN "*.partial" EXCLUDE
        PATTERN "*.cif" EXCLUDE PATTERN "*.json" EXCLUDE PATTERN "*.svg" EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarnivox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarnivox.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/docs/users-guide.md ${CMAKE_SOURCE_DIR}/docs/tarnivox-summary.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnivox)

# Files made from the built programs.  A sanitizer build may end its
# programs with a leak report, so it makes none of them (it is not installed).
if(NOT TARNIVOX_SANITIZE AND NOT TARNIVOX_FUZZ)
  set(_gen ${CMAKE_BINARY_DIR}/share)
  # The completion comes from the command line's own definitions.
  add_custom_command(OUTPUT ${_gen}/completions/tarnivox
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/completions
    COMMAND tarnivox completion bash > ${_gen}/completions/tarnivox
    DEPENDS tarnivox VERBATIM)
  set(_generated ${_gen}/completions/tarnivox)
  install(FILES ${_gen}/completions/tarnivox DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

  find_program(HELP2MAN help2man)
  if(HELP2MAN)
    foreach(_prog tarnivox tarnivox-simulate)
      set(_subs "")
      if(_prog STREQUAL "tarnivox")
        set(_subs "reduce;convert;template-par;completion")  # each with its own options
      endif()
      add_custom_command(OUTPUT ${_gen}/man/${_prog}.1
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/man
        COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${_prog}> -DNAME=${_prog} "-DSUBCOMMANDS=${_subs}"
                -DSECTIONS=${CMAKE_SOURCE_DIR}/packaging/${_prog}.h2m -DOUTPUT=${_gen}/man/${_prog}.1
                -DHELP2MAN=${HELP2MAN} -P ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
        DEPENDS ${_prog} ${CMAKE_SOURCE_DIR}/packaging/${_prog}.h2m ${CMAKE_SOURCE_DIR}/cmake/man_page.cmake
        VERBATIM)
      list(APPEND _generated ${_gen}/man/${_prog}.1)
      install(FILES ${_gen}/man/${_prog}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
  else()
    message(STATUS "help2man not found: no man pages (Debian package help2man)")
  endif()
  add_custom_target(tarnivox_install_files ALL DEPENDS ${_generated})
endif()

# The Debian package: `cmake --build BUILD --target package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnivox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnivox developers <tarnivox@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reduces single-crystal diffraction omega step scans to intensities")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnivox fits the step scans of four-circle diffractometers (CAD4, STOE, Huber, Febo,
Xcalibur, XSCANS) with a pseudo-Voigt alpha1/alpha2 doublet, writes SHELX and Rfine
intensity files with esds, refines the orientation matrix and cell, and reports
through a log, a CIF fragment and a JSON summary.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The shared libraries (Qt 6, the C++ runtime) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
include(CPack)
