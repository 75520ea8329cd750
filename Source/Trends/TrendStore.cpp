#include "Trends/TrendStore.h"

void TrendStore::SetChanals(const std::vector<Chanal>& chanals)
{
    std::map<uint32_t, TrendRing> kept;
    for (const Chanal& ch : chanals) {
        auto old = rings_.find(ch.number);
        if (old != rings_.end())
            kept.emplace(ch.number, std::move(old->second));
        else
            kept.emplace(ch.number, TrendRing(LONGEST_SPAN, RESOLUTION));
    }
    rings_.swap(kept);
    chanals_ = chanals;
    ++version_;
}

void TrendStore::Add(uint32_t number, double value, int64_t t)
{
    auto ring = rings_.find(number);
    if (ring == rings_.end())
        return;
    ring->second.Add(t, value);
    ++version_;
}

const TrendRing* TrendStore::Find(uint32_t number) const
{
    auto ring = rings_.find(number);
    return ring == rings_.end() ? nullptr : &ring->second;
}
