#pragma once

#include "sim/SimResponder.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Nanos = std::chrono::nanoseconds;

// One character of 8N1: start bit, eight data bits, stop bit.
Nanos CharTime(int baud);
// The RTU end-of-frame silence: 3.5 characters, but a fixed 1.75 ms above
// 19200 baud, as the Modbus serial line rules have it.
Nanos FrameSilence(int baud);

// Gathers request bytes; a request is complete when the line has been
// silent for the end-of-frame time after its last byte. Whatever arrives in
// one burst is one request: a damaged or merged frame then fails its CRC
// and is ignored, as a real slave does.
class FrameAssembler {
public:
    explicit FrameAssembler(Nanos silence) : silence_(silence) {}

    void Add(const uint8_t* b, size_t n, TimePoint now);
    bool Empty() const { return bytes_.empty(); }
    // When the gathered bytes count as complete.
    TimePoint Deadline() const { return last_ + silence_; }
    std::optional<std::vector<uint8_t>> TakeIfComplete(TimePoint now);
    void Clear() { bytes_.clear(); }

private:
    static constexpr size_t MAX_FRAME = 512; // far above the 256 of RTU
    Nanos silence_;
    std::vector<uint8_t> bytes_;
    TimePoint last_;
};

// Puts an answer on the line at line speed: each byte is handed over when
// it would have been received at the far end of a real line, one character
// time after the one before it; a piece after a gap starts that gap after
// the previous piece ended.
class Transmitter {
public:
    explicit Transmitter(Nanos charTime) : charTime_(charTime) {}

    void Start(const std::vector<AnswerPiece>& pieces, TimePoint start);
    bool Idle() const { return next_ == bytes_.size(); }
    // How many bytes from Pending() on are due by now.
    size_t DueCount(TimePoint now) const;
    const uint8_t* Pending() const { return bytes_.data() + next_; }
    void Written(size_t n) { next_ += n; }
    // When the next byte is due; only while not idle.
    TimePoint NextDue() const { return due_[next_]; }
    void Clear();

private:
    Nanos charTime_;
    std::vector<uint8_t> bytes_;
    std::vector<TimePoint> due_;
    size_t next_ = 0;
};

} // namespace sim
