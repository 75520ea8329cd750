#pragma once

#include "ProcessList.h"

#include <string>
#include <vector>

// Who keeps a serial device from us, as far as this user may see.

namespace my::PortDoctor {

// The processes with the device open (their /proc/<pid>/fd names it). Only
// this user's own processes show, unless the program runs as root.
std::vector<ProcessEntry> ProcessesHolding(const std::string& devicePath);

// A service known to take serial adapters for itself, with the fix.
struct KnownGrabber {
    const char* exeName;
    const char* what; // what it does to adapters, and how to stop it
};

// The known grabbers that are running now (their process names are visible
// to every user).
std::vector<KnownGrabber> RunningGrabbers();

} // namespace my::PortDoctor
