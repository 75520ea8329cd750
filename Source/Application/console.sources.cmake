# The debug console: std::cout routing, Unix signals, log files and archive.
list(APPEND KALIST8_CORE_SOURCES
  Application/StdoutRouter.cpp
  Application/UnixSignals.cpp
  VCLUtils/MyFileCtrl.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  Application/ExceptionBox.cpp
  Application/guicon.cpp
)
