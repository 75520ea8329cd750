#pragma once

#include "sim/SimInstrument.h"

#include <string>

namespace sim {

// An instrument in words: its mask and, for each channel, the names of its
// codes from the catalogue beside the program and the value at time t.
std::string DescribeInstrument(const Instrument& inst, double t);

// Every register of the map at time t, one per line:
// "  <register>: 0x<hex> = <decimal>; <what>", after a heading line
// "Registers of the instrument at address <a>".
std::string RegisterTable(const Instrument& inst, double t);

} // namespace sim
