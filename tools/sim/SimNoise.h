#pragma once

#include "sim/SimRandom.h"
#include "sim/SimTiming.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// Random bytes on the line, as a bad cable or a motor nearby makes them:
// short bursts of a few bytes at random moments, between frames and while
// either side talks, and now and then a burst that goes on for longer than
// an answer time-out, with pauses too short to end a frame.
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : random_(seed) {}

    // The bytes due by now (none most of the time); the first call starts
    // the schedule.
    std::vector<uint8_t> Take(TimePoint now);
    // When Take has bytes again; none before the first call.
    std::optional<TimePoint> NextDue() const;
    // The noise ends; the next Take starts a new schedule.
    void Stop();

    // A long burst lasts this long at least (the link's default answer
    // time-out is 1000 ms).
    static constexpr int LONG_BURST_MIN_MS = 1200;
    static constexpr int LONG_BURST_MAX_MS = 2500;

private:
    std::vector<uint8_t> RandomBytes(int n);

    Random random_;
    std::optional<TimePoint> next_;
    std::optional<TimePoint> burstEnd_;
};

} // namespace sim
