# Trends: the recent readings of every channel in bounded rings, and their
# plots in the channel windows and the "Тренды" window.
list(APPEND KALIST8_CORE_SOURCES
  Trends/TrendRing.cpp
  Trends/TrendStore.cpp
)
list(APPEND KALIST8_WIDGET_SOURCES
  Trends/TrendsControl.cpp
  Trends/TrendView.cpp
)
