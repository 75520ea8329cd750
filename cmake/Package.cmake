# The Debian package, kalist8_<version>_amd64.deb, made by CPack from a
# Release build configured with -DKALIST8_PACKAGE=ON (scripts/package):
#
#   /usr/lib/kalist8/   kalist8, kalist8-sim and the catalogue files; a
#                       folder the user cannot write to, so the program keeps
#                       the user's files in ~/.local/share/kalist8
#   /usr/bin/           kalist8 and kalist8-sim, links into that folder (the
#                       program finds its folder through /proc/self/exe)
#   /usr/share/         the desktop entry, the icon in the hicolor theme
#                       (scalable and rendered sizes), the manual pages,
#                       copyright, changelog
#
# The dependencies come from the binaries (dpkg-shlibdeps), plus 7-Zip for
# the log archive.

set(KALIST8_LIB_DIR lib/kalist8)
set(KALIST8_MAINTAINER "kalist8 maintainers <maintainers@users.noreply.c-seed-f3e1af55.example>"
    CACHE STRING "The package's maintainer, as Debian writes one")

install(TARGETS kalist8 kalist8-sim RUNTIME DESTINATION ${KALIST8_LIB_DIR})
# Byte for byte as they are (Windows-1251, CRLF).
install(FILES ${PROJECT_SOURCE_DIR}/resources/vars.ini ${PROJECT_SOURCE_DIR}/resources/units.ini
              ${PROJECT_SOURCE_DIR}/resources/scales.ini
        DESTINATION ${KALIST8_LIB_DIR})

# Relative links, so that the package works under any root.
set(KALIST8_LINKS_DIR ${CMAKE_BINARY_DIR}/package/bin)
file(MAKE_DIRECTORY ${KALIST8_LINKS_DIR})
foreach(program kalist8 kalist8-sim)
  file(CREATE_LINK ../${KALIST8_LIB_DIR}/${program} ${KALIST8_LINKS_DIR}/${program} SYMBOLIC)
  install(FILES ${KALIST8_LINKS_DIR}/${program} DESTINATION bin)
endforeach()

# Started by name from /usr/bin.
install(FILES ${PROJECT_SOURCE_DIR}/resources/kalist8.desktop DESTINATION share/applications)

# The sizes desktops ask for, rendered from the one drawing.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(KALIST8_ICON_SIZES 16 24 32 48 64 128 256)
set(kalist8_icons)
foreach(size ${KALIST8_ICON_SIZES})
  set(png ${CMAKE_BINARY_DIR}/package/icons/${size}x${size}/kalist8.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/resources/kalist8.svg
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/kalist8.svg VERBATIM)
  install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  list(APPEND kalist8_icons ${png})
endforeach()
add_custom_target(kalist8_icons ALL DEPENDS ${kalist8_icons})

# Debian wants the changelog compressed to the maximum, without a time stamp.
set(KALIST8_DOC_DIR ${CMAKE_BINARY_DIR}/package/doc)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${KALIST8_DOC_DIR}/changelog @ONLY)
execute_process(COMMAND gzip -9nc INPUT_FILE ${KALIST8_DOC_DIR}/changelog OUTPUT_FILE ${KALIST8_DOC_DIR}/changelog.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${KALIST8_DOC_DIR}/changelog.gz
        DESTINATION share/doc/kalist8)

# Manual pages, compressed the same way.
foreach(page kalist8.1 kalist8-sim.1)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/${page})
  execute_process(COMMAND gzip -9nc INPUT_FILE ${PROJECT_SOURCE_DIR}/resources/man/${page}
                  OUTPUT_FILE ${KALIST8_DOC_DIR}/${page}.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${KALIST8_DOC_DIR}/${page}.gz DESTINATION share/man/man1)
endforeach()

# cpack installs what scripts/package has built; it need not build the
# benchmarks and the rest of "all" first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalist8)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the КАЛИСТ-8 measuring instrument")
set(CPACK_PACKAGE_DESCRIPTION "kalist8 polls the channels of a КАЛИСТ-8 instrument over a serial
line (Modbus RTU, usually an RS-485 adapter), finds the instruments on the
line, sends the zero correction, changes the network address and downloads
the measurement archive. The package includes kalist8-sim, a simulator of
the instrument on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KALIST8_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
