# The instrument's commands and the device tasks. Widgets, because they go
# through the transfer manager and show the wait window.
list(APPEND KALIST8_WIDGET_SOURCES
  DevSys/modbus_.cpp
  DevSys/task_.cpp
)
