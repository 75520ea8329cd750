#pragma once

#include <string>

// Where the machine's /dev, /sys and /proc are read: at the root of the file
// system, or under a folder that holds a tree of the same layout (tests build
// one with the devices, sysfs attributes and processes they need).

namespace my::Comm {

// The absolute path as it lies under the root now ("/dev/ttyUSB0" itself at
// the real root).
std::string SystemPath(const std::string& absolute);

// An empty root is the machine's own. Not for use while other threads read
// through it.
void SetSystemRoot(const std::string& root);

} // namespace my::Comm
