#pragma once

#include <functional>
#include <string>
#include <vector>

// Which device each of the port numbers COM1 to COM9 stands for. A number is
// looked up, first match wins:
//   1. the environment variable KALIST8_COM<n> (KALIST8_COM1=/dev/pts/7);
//   2. key "COM<n>" of section "PORTS" in "comports.ini" in the user's
//      configuration directory;
//   3. nothing: the number is unmapped.
// Whenever the present-port list is built (at the start, when the port
// settings dialog opens, when the configured port is missing or fails to
// open), every serial device found on the machine that no number stands for
// yet gets the lowest free number, written to "comports.ini", so a device
// keeps its number from then on. Building the list reads /dev and sysfs
// (under SystemRoot.h's root) and opens no device.

namespace my::Comm {

// "comports.ini" in the user's configuration directory.
std::string PortMapFilePath();

// The device path port n stands for now; empty when unmapped.
std::string PortDevicePath(unsigned portNumber);

// The serial devices of the machine in the order they get numbers: USB
// adapters by their stable /dev/serial/by-id/... path, then /dev/ttyACM*,
// /dev/ttyUSB* not already listed, then /dev/ttyS* and /dev/ttyAMA* whose
// UART is really there. Never pseudo-terminals or links to them (those are
// mapped by hand), nor a terminal the kernel's console is on.
std::vector<std::string> FindSerialDevices();

// The source of found devices: FindSerialDevices unless replaced (tests, so
// that numbering does not depend on the machine). An empty function restores
// the machine scan.
typedef std::function<std::vector<std::string>()> DeviceScanFn;
void SetDeviceScanSource(DeviceScanFn scan);

// Gives each found device that no number stands for yet (compared by the
// file they resolve to) the lowest number no variable or key maps, while
// numbers are left, and writes it to "comports.ini". A file that cannot be
// written leaves the device unnumbered.
void NumberNewDevices();

// True when the path names a terminal device now (a character device of one
// of the system's tty drivers), without opening it.
bool IsTerminalDevice(const std::string& path);

// After NumberNewDevices: the numbers 1 to 9, ascending, whose device path is
// a terminal device now. This is the present-port list.
std::vector<unsigned> MappedPresentPorts();

} // namespace my::Comm
