# Threads, synchronous calls onto the main thread, signals; the fatal report.
list(APPEND KALIST8_CORE_SOURCES
  Excpt/FatalError.cpp
  VCLUtils/myThread.cpp
  VCLUtils/MySynchronize.cpp
  VCLUtils/MyThreadState.cpp
)
# Debian's Loki needs it once its object-level lock is switched on; only
# this file includes Loki's threading header.
list(APPEND KALIST8_SOURCE_FLAGS "VCLUtils/MyThreadState.cpp|-fpermissive")
