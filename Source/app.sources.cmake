# Values as the windows and the archive text show them.
list(APPEND KALIST8_CORE_SOURCES
  ValueText.cpp
)
