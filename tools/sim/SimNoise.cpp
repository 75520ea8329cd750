#include "sim/SimNoise.h"

namespace sim {

namespace {

using Ms = std::chrono::duration<double, std::milli>;

// Inside a long burst: a few bytes every few milliseconds, about the rate of
// a 9600-baud line and never a pause long enough to end a frame.
constexpr int LONG_BURST_CHUNK = 4;
constexpr double LONG_BURST_STEP_MS = 4;
// Between two bursts.
constexpr double QUIET_MIN_MS = 30;
constexpr double QUIET_MAX_MS = 700;
constexpr double LONG_BURST_CHANCE = 0.15;

TimePoint After(TimePoint t, double ms) { return t + std::chrono::duration_cast<Nanos>(Ms(ms)); }

} // namespace

std::vector<uint8_t> NoiseSource::RandomBytes(int n)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random_.Below(256));
    return bytes;
}

std::vector<uint8_t> NoiseSource::Take(TimePoint now)
{
    if (!next_) {
        next_ = After(now, random_.Uniform(QUIET_MIN_MS, QUIET_MAX_MS));
        return {};
    }
    if (now < *next_)
        return {};
    if (burstEnd_ && now >= *burstEnd_) {
        burstEnd_.reset();
        next_ = After(now, random_.Uniform(QUIET_MIN_MS, QUIET_MAX_MS));
        return {};
    }
    if (!burstEnd_ && random_.Chance(LONG_BURST_CHANCE))
        burstEnd_ = After(now, random_.Between(LONG_BURST_MIN_MS, LONG_BURST_MAX_MS));
    if (burstEnd_) {
        next_ = After(now, LONG_BURST_STEP_MS);
        return RandomBytes(LONG_BURST_CHUNK);
    }
    next_ = After(now, random_.Uniform(QUIET_MIN_MS, QUIET_MAX_MS));
    return RandomBytes(random_.Between(1, 8));
}

std::optional<TimePoint> NoiseSource::NextDue() const { return next_; }

void NoiseSource::Stop()
{
    next_.reset();
    burstEnd_.reset();
}

} // namespace sim
