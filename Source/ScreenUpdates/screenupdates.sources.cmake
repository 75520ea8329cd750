# Paced repaints of a window whose widgets change with every reading.
list(APPEND KALIST8_WIDGET_SOURCES
  ScreenUpdates/RepaintPacer.cpp
)
