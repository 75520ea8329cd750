# The exchange counts per address and their window.
list(APPEND KALIST8_CORE_SOURCES
  BusStats/BusStats.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  BusStats/BusStatsWindow.cpp
)
