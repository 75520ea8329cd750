#pragma once

#include "Trends/TrendRing.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The trends of the table's channels: one ring per channel of the list,
// keyed by channel number, each covering the longest span shown.
class TrendStore {
public:
    static constexpr int64_t LONGEST_SPAN = 60 * 60 * 1000;
    // Finer than any plot draws it; 4 readings a second at most.
    static constexpr int64_t RESOLUTION = 250;

    struct Chanal {
        uint32_t number;
        std::string name; // quantity and unit
    };

    // A new list keeps the readings of the channels still in it.
    void SetChanals(const std::vector<Chanal>& chanals);
    const std::vector<Chanal>& Chanals() const { return chanals_; }
    // A reading at t (milliseconds); channels outside the list are ignored.
    void Add(uint32_t number, double value, int64_t t);
    // Nullptr for a channel outside the list.
    const TrendRing* Find(uint32_t number) const;
    // Changes with every reading and list: plots redraw only when it has.
    uint64_t Version() const { return version_; }

private:
    std::vector<Chanal> chanals_;
    std::map<uint32_t, TrendRing> rings_;
    uint64_t version_ = 0;
};
