# The serial port on Linux: the port itself (CommUtils), the port map, the
# termios translation, the poll() timeouts and the system call seam.
list(APPEND KALIST8_CORE_SOURCES
  ComPort/CommUtils.cpp
  ComPort/CustomBaud_linux.cpp
  ComPort/PollTimeouts.cpp
  ComPort/PortMap.cpp
  ComPort/SerialLine.cpp
  ComPort/SerialSys.cpp
  ComPort/SystemRoot.cpp
  ComPort/TermiosFromDcb.cpp
)
