#pragma once

#include "ComPort/RS232Modbus.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TimingAdvisor {

// How many readings each stage of the advice takes.
struct Counts {
    unsigned latencyReadings = 40; // at the settings in force: the latency and the rate before
    unsigned stepReadings = 40;    // at each write delay tried
    unsigned checkReadings = 40;   // at the proposal: the rate after
};

// The readings at one write delay.
struct StepResult {
    int32_t writeDelay;
    unsigned readings;
    unsigned failed;
    // The shortest time from an answer's end to the next request among the
    // sound readings, in microseconds: the write delay plus the engine's own
    // time. Negative when not known.
    int64_t shortestGapUs = -1;
};

// What the readings showed.
struct Findings {
    // Zero until measured: an advice stopped before its first reading
    // finishes with these as they are.
    LinkTimings current{};         // the settings in force when the advice began
    LineFraming framing{};         // the line the answers came over
    bool answered = false;         // some reading was sound
    uint32_t latencyP99Ms = 0;     // end of request to first byte, 99th percentile
    size_t longestAnswerBytes = 0; // the longest answer among the readings
    std::vector<StepResult> steps; // in the order tried
};

// The settings to propose, or why there are none.
struct Proposal {
    std::optional<LinkTimings> timings;
    std::string refusal; // the user's text when timings is empty
};

// The arithmetic of the advice, free of the line: which write delays to
// try, when to stop, and what to propose from what was found.
class Plan {
public:
    // The write delays tried, from the longest down. Below 10 ms they come
    // in 2 ms steps, so that the step found is close to what the instrument
    // needs rather than the next round number above it.
    static const std::vector<int32_t>& Ladder();

    // The write delay to try after the steps done so far; none once a step
    // had a failed reading or the ladder is done.
    static std::optional<int32_t> NextStep(const std::vector<StepResult>& done);

    // The smallest write delay whose readings all succeeded, before the
    // first step that failed; none when the first step failed already.
    static std::optional<int32_t> SmallestCleanStep(const std::vector<StepResult>& steps);

    // From the shortest pause after an answer that the instrument took at the
    // smallest clean step, in whole milliseconds.
    static int32_t WriteDelayFor(int32_t cleanGapMs);
    static int32_t TimeOutFor(uint32_t latencyP99Ms, uint32_t longestAnswerLineMs);
    // The silence that joins a split answer at the line's rate, never below
    // the one in force.
    static int32_t SilentTimeFor(const LineFraming& framing, int32_t current);
    // Milliseconds the bytes take on the line, rounded up.
    static uint32_t LineTimeMs(size_t bytes, const LineFraming& framing);

    static Proposal Propose(const Findings& f);
};

} // namespace TimingAdvisor
