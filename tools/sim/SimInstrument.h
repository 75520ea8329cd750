#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// What a channel of this kind measures: codes of the sample catalogue
// ("vars.ini", "units.ini", "scales.ini"), the bounds of its scale, the
// decimals it shows and the band its readings usually stay in.
struct ChannelKind {
    uint8_t quantityCode;
    uint8_t unitCode;
    uint8_t scaleCode;
    double scaleLow, scaleHigh;
    int decimals;
    double usualLow, usualHigh;
    double swing;
};

const std::vector<ChannelKind>& ChannelKinds();

// One measuring channel. Its reading follows two slow waves around a base
// value: smooth, plausible, and the same for the same seed and time.
struct Channel {
    unsigned number;
    ChannelKind kind;
    double base;
    double period1, phase1, period2, phase2;
    bool failed; // a broken sensor: reports the no-value pattern FF FF FF FF

    // The reading t seconds after the start, without zero correction.
    double ValueAt(double t) const;
};

constexpr uint16_t REG_COMMAND = 32;
constexpr uint16_t REG_MASK = 52;
constexpr uint16_t REG_DESCRIPTORS = 64;
constexpr unsigned MAX_CHANNELS = 16;
constexpr uint16_t COMMAND_ZERO_CORRECTION = 1;

// One instrument on the line: its channels, the register map it answers
// reads from, the command registers and its measurement archive.
class Instrument {
public:
    // The channels (unless mask is given), their kinds, waves and the failed
    // sensor all come from the seed and the address.
    Instrument(uint8_t address, uint64_t seed, std::optional<uint16_t> mask = std::nullopt);

    uint8_t Address() const { return address_; }
    uint16_t Mask() const { return mask_; }
    // The existing channels in ascending order.
    const std::vector<Channel>& Channels() const { return channels_; }
    const Channel* FindChannel(unsigned n) const;

    // What the instrument reports for channel n at time t: the reading less
    // the zero correction; 999999 for a failed or absent channel.
    double ReportedValue(unsigned n, double t) const;
    void ReportedBcd(unsigned n, double t, uint8_t bcd[4]) const;

    // Register contents at time t; nothing for a register outside the map.
    std::optional<uint16_t> Register(uint16_t reg, double t) const;
    static bool InMap(uint16_t reg);

    // The three command registers as written by function 0x16. Command 1
    // sets the zero correction to its argument (an invalid argument leaves
    // it); other codes are only stored.
    void WriteCommand(uint16_t code, const uint8_t arg[4]);
    double ZeroCorrection() const { return zeroCorrection_; }

    // The 9800-byte archive block the instrument sends for function 0x41.
    const std::vector<uint8_t>& Archive() const { return archive_; }

private:
    uint8_t address_;
    uint16_t mask_;
    std::vector<Channel> channels_;
    double zeroCorrection_ = 0;
    uint16_t commandCode_ = 0;
    uint8_t commandArg_[4] = {0, 0, 0, 0};
    std::vector<uint8_t> archive_;
};

} // namespace sim
