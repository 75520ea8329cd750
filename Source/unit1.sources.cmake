# The main window: the channel table, the status bar and its splitters, the
# commands.
list(APPEND KALIST8_WIDGET_SOURCES
  Unit1.cpp
  Unit1Commands.cpp
  VCLUtils/PanelSplitter.cpp
)
