#include "sim/SimCounters.h"

#include "VCLUtils/MyStrUtils.h"

namespace sim {

namespace {

std::string U(uint64_t n) { return std::to_string(n); }

} // namespace

uint64_t Counters::FaultsTotal() const
{
    uint64_t total = 0;
    for (const auto& f : faults)
        total += f.second;
    return total;
}

std::string FormatCounts(const Counters& c)
{
    std::string t = "kalist8-sim counts:\n";
    t += "  requests: " + U(c.requests) + "\n";
    for (const auto& [fn, n] : c.byFunction)
        t += my::Format("    function 0x%02X: %s\n", fn, U(n).c_str());
    for (const auto& [addr, n] : c.byAddress)
        t += my::Format("    address %u: %s\n", addr, U(n).c_str());
    t += "    broadcasts (address 0, not answered): " + U(c.broadcasts) + "\n";
    t += "    to other addresses (not answered): " + U(c.toOtherAddresses) + "\n";
    t += "  frames ignored (too short or wrong CRC): " + U(c.framesIgnored) + "\n";
    t += "  answers: " + U(c.answers) + "\n";
    t += "    exception answers: " + U(c.exceptionAnswers) + "\n";
    t += "  faults injected: " + U(c.FaultsTotal()) + "\n";
    for (const auto& [name, n] : c.faults)
        t += "    " + name + ": " + U(n) + "\n";
    t += "  bytes received: " + U(c.bytesReceived) + "\n";
    t += "    ignored while answering: " + U(c.bytesIgnored) + "\n";
    t += "  bytes sent: " + U(c.bytesSent) + "\n";
    t += "  line drops: " + U(c.lineDrops) + "\n";
    t += "  requests lost to the turnaround: " + U(c.turnaroundLost) + "\n";
    return t;
}

std::string FormatCountsLine(const Counters& c)
{
    std::string t = "requests " + U(c.requests);
    for (const auto& [fn, n] : c.byFunction)
        t += my::Format(" function-0x%02X %s", fn, U(n).c_str());
    for (const auto& [addr, n] : c.byAddress)
        t += my::Format(" address-%u %s", addr, U(n).c_str());
    t += " broadcasts " + U(c.broadcasts) + " other-addresses " + U(c.toOtherAddresses);
    t += " ignored " + U(c.framesIgnored) + " answers " + U(c.answers);
    t += " exceptions " + U(c.exceptionAnswers) + " faults " + U(c.FaultsTotal());
    t += " bytes-received " + U(c.bytesReceived) + " bytes-sent " + U(c.bytesSent);
    t += " line-drops " + U(c.lineDrops) + " turnaround-lost " + U(c.turnaroundLost);
    return t;
}

} // namespace sim
