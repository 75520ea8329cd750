# One copy of the program at a time: a lock taken before anything starts.
list(APPEND KALIST8_CORE_SOURCES
  SingleInstance/InstanceLock.cpp
)
