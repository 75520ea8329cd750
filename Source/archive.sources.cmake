# The downloaded archive: its two files, and handing the text to the desktop.
list(APPEND KALIST8_CORE_SOURCES
  ArchiveFiles.cpp
  StampedFile.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  DesktopOpen.cpp
)
