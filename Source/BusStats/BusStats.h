#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace BusStats {

// How one exchange with an instrument ended.
enum class Outcome {
    Answer,          // a sound answer
    ExceptionAnswer, // a sound Modbus exception answer
    NoAnswer,
    BadCrc,
    FaultyAnswer, // too short, another address or another function
};

// Answer latencies in whole milliseconds; everything from the last slot on
// shares it. Fixed size: adding never allocates.
class LatencyHistogram {
public:
    static constexpr uint32_t kSlots = 2048;

    void Add(uint32_t ms);
    uint64_t Count() const { return count_; }
    uint32_t Min() const { return min_; }
    uint32_t Max() const { return max_; }
    // The smallest latency that at least the share q (0..1) of all is at or
    // below; 0 when empty.
    uint32_t Quantile(double q) const;

private:
    std::array<uint32_t, kSlots> slots_{};
    uint64_t count_ = 0;
    uint32_t min_ = 0;
    uint32_t max_ = 0;
};

struct AddressCounts {
    uint64_t requests = 0;
    uint64_t answers = 0; // sound answers, exception answers among them
    uint64_t noAnswer = 0;
    uint64_t badCrc = 0;
    uint64_t faulty = 0;
    uint64_t exceptions = 0;
    LatencyHistogram latency; // end of request to first byte
};

// One line of the table.
struct Row {
    unsigned address;
    AddressCounts counts;
    double readingsPerSecond; // sound answers per second since the reset
};

// The exchanges of the process, counted per address. The worker records
// after each exchange, the window reads; one lock keeps them apart. An
// address takes its place on its first exchange; later exchanges allocate
// nothing.
class Counter {
public:
    static Counter& Instance();

    // latencyMs: from the end of the request to the answer's first byte,
    // negative when no byte came.
    void Record(uint8_t address, Outcome outcome, int32_t latencyMs);
    void Reset();
    std::vector<Row> Rows() const;
    // The table as text, one line per address under a header line.
    std::string Text() const;

private:
    typedef std::chrono::steady_clock Clock;

    mutable std::mutex mutex_;
    std::map<uint8_t, AddressCounts> byAddress_;
    Clock::time_point since_ = Clock::now();
};

// The column titles, in the order of RowCells.
std::vector<std::string> ColumnTitles();
// A row's cells as text: the latency figures "-" while nothing answered.
std::vector<std::string> RowCells(const Row& row);

} // namespace BusStats
