#pragma once

#include "sim/SimFault.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Options {
    std::string device;             // empty: serve a new pseudo-terminal
    std::string link;               // symbolic link to the pseudo-terminal
    int baud = 9600;
    std::vector<uint8_t> addresses; // ascending, no repeats; {1} when none given
    std::optional<uint16_t> mask;   // for every instrument
    std::map<uint8_t, uint16_t> masks; // for one address
    std::map<uint8_t, uint8_t> foreign; // another device's address: its exception code
    uint64_t seed = 1;
    bool still = false;
    double latencyMs = 5;
    int turnaroundMs = 0;
    Fault fault;
    std::string control;
    std::string command;            // send this to a running simulator and end
    std::string archiveOut;
    bool dump = false;
    bool verbose = false;
    bool help = false;
};

// Throws MySimUsageException with a message for the user.
Options ParseOptions(const std::vector<std::string>& args);
// "1", "1,2", "5-7 9": adds the addresses 1..255 to out.
void ParseAddressList(const std::string& text, std::vector<uint8_t>& out);
std::string HelpText();

} // namespace sim
