# Recording the table's readings to CSV files: the file, and the menu item
# and status-bar mark that switch it.
list(APPEND KALIST8_CORE_SOURCES
  Records/CsvFormat.cpp
  Records/RecordFile.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  Records/RecordingControl.cpp
)
