# Why a port does not open and how to fix it; what each port number is.
list(APPEND KALIST8_CORE_SOURCES
  PortDoctor/LatencyAdvice.cpp
  PortDoctor/OpenFailureAdvice.cpp
  PortDoctor/PortDoctor.cpp
  PortDoctor/PortFacts.cpp
  PortDoctor/PortHolders.cpp
)
