# The address-search progress window and the single-channel window.
list(APPEND KALIST8_WIDGET_SOURCES
  uFormOpros.cpp
  uFormChanal.cpp
)
