#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace sim {

// What the simulator has served, for the report at the end.
struct Counters {
    uint64_t requests = 0; // sound frames, whatever their address
    std::map<unsigned, uint64_t> byFunction;
    std::map<unsigned, uint64_t> byAddress;
    uint64_t broadcasts = 0;
    uint64_t toOtherAddresses = 0;
    uint64_t framesIgnored = 0;    // too short or with a wrong CRC
    uint64_t answers = 0;          // answers begun, a split one counted once
    uint64_t exceptionAnswers = 0; // exceptions the protocol calls for (01, 02, 03)
    std::map<std::string, uint64_t> faults; // injected, by fault name
    uint64_t bytesReceived = 0;
    uint64_t bytesIgnored = 0; // arrived while the simulator was answering
    uint64_t bytesSent = 0;
    uint64_t lineDrops = 0;
    uint64_t turnaroundLost = 0; // requests begun too soon after an answer

    uint64_t FaultsTotal() const;
};

// The report, several lines, each ending with a line feed.
std::string FormatCounts(const Counters& c);
// The same on one line, for a control reply.
std::string FormatCountsLine(const Counters& c);

} // namespace sim
