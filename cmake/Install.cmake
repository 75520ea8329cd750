# Two layouts. By default `cmake --install build --prefix DIR` lays out the
# program as a portable folder: kalist8 looks for its catalogue files beside
# its own executable and writes its settings, the archive and the Log
# directory there, so the executable and the files it reads share one
# folder, DIR/kalist8, which the user can write to. The desktop entry goes
# where desktops look for one, DIR/share/applications, and starts the
# executable by its full path.
#
# With KALIST8_PACKAGE the layout is a Debian package's (cmake/Package.cmake):
# the program's read-only folder /usr/lib/kalist8, launchers in /usr/bin, and
# the program keeps the user's files in the user's data folder.
#
# Both install the icon in the freedesktop icon theme. Tests are never
# installed.

option(KALIST8_PACKAGE "Install as the Debian package lays it out (see cmake/Package.cmake)" OFF)

install(FILES ${PROJECT_SOURCE_DIR}/resources/kalist8.svg DESTINATION share/icons/hicolor/scalable/apps)

if(KALIST8_PACKAGE)
  include(cmake/Package.cmake)
  return()
endif()

set(KALIST8_INSTALL_DIR kalist8 CACHE STRING "The program's folder under the installation prefix")

# The simulator goes along: without hardware it is the only thing to talk to.
install(TARGETS kalist8 kalist8-sim RUNTIME DESTINATION ${KALIST8_INSTALL_DIR})

# Byte for byte as they are (Windows-1251, CRLF).
install(FILES ${PROJECT_SOURCE_DIR}/resources/vars.ini ${PROJECT_SOURCE_DIR}/resources/units.ini
              ${PROJECT_SOURCE_DIR}/resources/scales.ini
        DESTINATION ${KALIST8_INSTALL_DIR})

# The prefix is known only when installing (--prefix overrides the one of
# the configuration), so the entry's Exec line is written then. DESTDIR
# stages the files elsewhere; the entry names the final place.
set(KALIST8_DESKTOP_ENTRY ${CMAKE_BINARY_DIR}/kalist8.desktop)
install(CODE "set(kalist8_desktop_in \"${PROJECT_SOURCE_DIR}/resources/kalist8.desktop\")
set(kalist8_desktop_out \"${KALIST8_DESKTOP_ENTRY}\")
set(kalist8_dir \"${KALIST8_INSTALL_DIR}\")")
install(CODE [[
  cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE kalist8_prefix)
  cmake_path(APPEND kalist8_prefix "${kalist8_dir}" kalist8 OUTPUT_VARIABLE kalist8_exe)
  if(kalist8_exe MATCHES "[\r\n]")
    message(FATAL_ERROR "A desktop entry cannot start a program from \"${kalist8_exe}\"")
  endif()
  # Exec takes a quoted argument, where \ " ` $ are escaped by a backslash,
  # and the string escaping doubles every backslash once more; % starts a
  # field code. TryExec is a plain string.
  string(REPLACE "\\" "\\\\\\\\" kalist8_exec "${kalist8_exe}")
  string(REGEX REPLACE "([\"`$])" "\\\\\\\\\\1" kalist8_exec "${kalist8_exec}")
  string(REPLACE "%" "%%" kalist8_exec "${kalist8_exec}")
  string(REPLACE "\\" "\\\\" kalist8_tryexec "${kalist8_exe}")
  file(READ "${kalist8_desktop_in}" kalist8_entry)
  # The path goes in by plain replacement: in a regular expression's
  # replacement its backslashes would be taken for group references.
  string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=@exec@" kalist8_entry "${kalist8_entry}")
  string(REGEX REPLACE "\nTryExec=[^\n]*" "\nTryExec=@tryexec@" kalist8_entry "${kalist8_entry}")
  string(REPLACE "@exec@" "\"${kalist8_exec}\"" kalist8_entry "${kalist8_entry}")
  string(REPLACE "@tryexec@" "${kalist8_tryexec}" kalist8_entry "${kalist8_entry}")
  file(WRITE "${kalist8_desktop_out}" "${kalist8_entry}")
]])
install(FILES ${KALIST8_DESKTOP_ENTRY} DESTINATION share/applications)
