# The string grid and the manager that draws its cells.
list(APPEND KALIST8_WIDGET_SOURCES
  VCLUtils/StringGrid.cpp
  VCLUtils/DrawGridCell.cpp
)
