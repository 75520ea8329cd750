# Window services (event routing, message boxes, mouse enter and leave) and
# the wait window.
list(APPEND KALIST8_WIDGET_SOURCES
  VCLUtils/MyWindow.cpp
  VCLUtils/MouseEvt.cpp
  uFrmWait.cpp
)
