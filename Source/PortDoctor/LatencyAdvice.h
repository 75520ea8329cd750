#pragma once

#include "PortDoctor/PortFacts.h"

#include <string>

namespace my::PortDoctor {

// A USB adapter holds received bytes for up to its latency timer before
// passing them on; a timer longer than the silence that ends an answer cuts
// answers into pieces. The note with the udev fix when the port's timer
// (read after the port asked for low latency) is longer than silentMs;
// empty otherwise.
std::string LatencyAdvice(unsigned portNumber, const PortFacts& facts, int silentMs);

} // namespace my::PortDoctor
