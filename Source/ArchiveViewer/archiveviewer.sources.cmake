# The archive window: the records of a downloaded or saved archive as a
# table and a plot, and their CSV export.
list(APPEND KALIST8_CORE_SOURCES
  ArchiveViewer/ArchiveTable.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  ArchiveViewer/ArchiveViewerControl.cpp
  ArchiveViewer/ArchiveWindow.cpp
  Plots/TimePlot.cpp
)
