#include "Trends/TrendRing.h"

#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>
#include <limits>

TrendRing::TrendRing(int64_t span, int64_t resolution)
    : resolution_(resolution), samples_(static_cast<size_t>(span / resolution + 1))
{
}

void TrendRing::Add(int64_t t, double value)
{
    const double v = std::fabs(value) < BCD_INVALID ? value : std::numeric_limits<double>::quiet_NaN();
    if (count_ && t - At(count_ - 1).t < resolution_) {
        samples_[(head_ + count_ - 1) % samples_.size()].value = v;
        return;
    }
    if (count_ == samples_.size()) {
        head_ = (head_ + 1) % samples_.size();
        --count_;
    }
    samples_[(head_ + count_) % samples_.size()] = {t, v};
    ++count_;
}

size_t TrendRing::FirstSince(int64_t from) const
{
    size_t lo = 0, hi = count_;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (At(mid).t < from)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

TrendRing::Stats TrendRing::StatsSince(int64_t from) const
{
    Stats s;
    double sum = 0;
    for (size_t i = FirstSince(from); i < count_; ++i) {
        const double v = At(i).value;
        if (std::isnan(v))
            continue;
        s.min = s.count ? std::min(s.min, v) : v;
        s.max = s.count ? std::max(s.max, v) : v;
        sum += v;
        ++s.count;
    }
    if (s.count)
        s.mean = sum / static_cast<double>(s.count);
    return s;
}

std::vector<QPointF> TrendRing::PointsSince(int64_t from, int64_t to, size_t maxPoints) const
{
    std::vector<QPointF> points;
    const int64_t slice = std::max<int64_t>(1, (to - from) / static_cast<int64_t>(std::max<size_t>(1, maxPoints)));
    size_t i = FirstSince(from);
    while (i < count_) {
        const int64_t sliceStart = from + (At(i).t - from) / slice * slice;
        double sum = 0, tSum = 0;
        size_t valid = 0, all = 0;
        for (; i < count_ && At(i).t < sliceStart + slice; ++i, ++all) {
            tSum += static_cast<double>(At(i).t);
            if (!std::isnan(At(i).value)) {
                sum += At(i).value;
                ++valid;
            }
        }
        points.emplace_back(tSum / static_cast<double>(all),
                            valid ? sum / static_cast<double>(valid) : std::numeric_limits<double>::quiet_NaN());
    }
    return points;
}
