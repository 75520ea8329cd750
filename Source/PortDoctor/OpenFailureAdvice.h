#pragma once

#include <string>

// One line that tells why port n could not be opened and what fixes it,
// found by looking at the device and the system as they are now. Empty when
// there is nothing to add to the error itself.

namespace my::PortDoctor {

// The cause of a failed open: the errno the device gave, or kNotPresent
// when the number was not in the present-port list.
enum { kNotPresent = 0 };

std::string ExplainOpenFailure(unsigned portNumber, int cause);

// The parts, each for its cause; path is the device port n is mapped to.
std::string ExplainUnmapped(unsigned portNumber);
std::string ExplainGone(unsigned portNumber, const std::string& path);
std::string ExplainNoAccess(unsigned portNumber, const std::string& path);
std::string ExplainBusy(unsigned portNumber, const std::string& path);

} // namespace my::PortDoctor
