#pragma once

#include <cstdint>

namespace sim {

// SplitMix64. The standard library's distributions are not specified bit for
// bit, so a seed would give other instruments with another library; this
// generator gives the same numbers everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; n must be above 0.
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    // lo .. hi, both included.
    int Between(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
    // [0, 1) with 53 random bits.
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    bool Chance(double p) { return Unit() < p; }

private:
    uint64_t state_;
};

// One seed for one purpose (an instrument, its archive, the fault mix), so
// that changing one part of the model leaves the others as they were.
inline uint64_t MixSeed(uint64_t seed, uint64_t purpose, uint64_t index = 0)
{
    Random r(seed ^ (purpose * 0xD6E8FEB86659FD93ull) ^ (index * 0xA0761D6478BD642Full));
    r.Next();
    return r.Next();
}

} // namespace sim
