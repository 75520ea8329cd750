# Paced repaints of a window whose widgets change with every reading, and
# the status texts gathered between them.
list(APPEND KALIST8_WIDGET_SOURCES
  ScreenUpdates/RepaintPacer.cpp
  ScreenUpdates/StatusFrames.cpp
)
