#pragma once

#include <QPointF>

#include <cstdint>
#include <vector>

// The recent readings of one channel, in a ring of fixed size: readings
// closer together than the ring's resolution take the place of the one
// before, so the ring covers its span at any reading rate and its memory
// never grows. Times are milliseconds; an invalid reading (the
// instrument's 999999) is kept as a gap.
class TrendRing {
public:
    // span and resolution in milliseconds.
    TrendRing(int64_t span, int64_t resolution);

    void Add(int64_t t, double value);
    size_t Size() const { return count_; }
    size_t Capacity() const { return samples_.size(); }

    struct Stats {
        size_t count = 0; // valid readings in the span
        double min = 0, max = 0, mean = 0;
    };
    // Over the readings at or after from.
    Stats StatsSince(int64_t from) const;
    // The readings at or after from, at most maxPoints of them: readings
    // are averaged in equal slices of time; a slice with readings but none
    // valid gives a NaN (a gap), a slice without readings nothing.
    std::vector<QPointF> PointsSince(int64_t from, int64_t to, size_t maxPoints) const;

private:
    struct Sample {
        int64_t t;
        double value; // NaN when invalid
    };
    const Sample& At(size_t i) const { return samples_[(head_ + i) % samples_.size()]; }
    size_t FirstSince(int64_t from) const;

    int64_t resolution_;
    std::vector<Sample> samples_;
    size_t head_ = 0;
    size_t count_ = 0;
};
