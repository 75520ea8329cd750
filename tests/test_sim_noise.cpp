#include "sim/SimNoise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using std::chrono::milliseconds;

// When each burst started and how long it went on, over a simulated time in
// steps of one millisecond: bytes less than 10 ms apart (a frame's end at
// the link's shortest silence) belong to one burst.
struct Burst {
    sim::TimePoint start, end;
    size_t bytes = 0;
};

std::vector<Burst> Bursts(sim::NoiseSource& noise, sim::TimePoint t0, int ms)
{
    std::vector<Burst> bursts;
    for (int i = 0; i < ms; ++i) {
        const sim::TimePoint now = t0 + milliseconds(i);
        const auto bytes = noise.Take(now);
        if (bytes.empty())
            continue;
        if (bursts.empty() || now - bursts.back().end >= milliseconds(10))
            bursts.push_back({now, now, 0});
        bursts.back().end = now;
        bursts.back().bytes += bytes.size();
    }
    return bursts;
}

} // namespace

TEST(SimNoiseTest, ShortBurstsAndSomeLongerThanAnAnswerTimeout)
{
    sim::NoiseSource noise(7);
    const auto bursts = Bursts(noise, sim::TimePoint(), 120000);
    ASSERT_GT(bursts.size(), 100u);
    const auto longBursts = std::count_if(bursts.begin(), bursts.end(), [](const Burst& b) {
        return b.end - b.start >= milliseconds(sim::NoiseSource::LONG_BURST_MIN_MS - 10);
    });
    EXPECT_GE(longBursts, 3) << "bursts that outlast the default answer time-out of 1000 ms";
    const auto shortBursts =
        std::count_if(bursts.begin(), bursts.end(), [](const Burst& b) { return b.bytes <= 8; });
    EXPECT_GT(shortBursts, 50);
    for (const auto& b : bursts)
        EXPECT_LE(b.end - b.start, milliseconds(sim::NoiseSource::LONG_BURST_MAX_MS + 10));
}

TEST(SimNoiseTest, StopsAtOnceAndTheSameSeedGivesTheSameNoise)
{
    sim::NoiseSource a(3), b(3);
    const sim::TimePoint t0;
    EXPECT_EQ(Bursts(a, t0, 5000).size(), Bursts(b, t0, 5000).size());
    a.Stop();
    EXPECT_FALSE(a.NextDue());
    // A new schedule starts quiet.
    EXPECT_TRUE(a.Take(t0 + milliseconds(6000)).empty());
    ASSERT_TRUE(a.NextDue());
    EXPECT_GT(*a.NextDue(), t0 + milliseconds(6000));
}
