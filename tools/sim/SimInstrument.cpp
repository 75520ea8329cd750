#include "sim/SimInstrument.h"

#include "sim/SimArchive.h"
#include "sim/SimRandom.h"

#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

namespace {

// Layout and archive draw from separate streams, so a change to one leaves
// the other as it was for the same seed.
constexpr uint64_t LAYOUT_STREAM = 1;
constexpr uint64_t ARCHIVE_STREAM = 2;

double RoundTo(double x, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(x * scale) / scale;
}

uint16_t DrawMask(Random& r)
{
    // A few channels from 0 up, and now and then one far up the map, so a
    // mask with gaps is as common as a plain one.
    const int count = r.Between(3, 6);
    uint16_t mask = static_cast<uint16_t>((1u << count) - 1);
    if (r.Chance(0.5))
        mask |= static_cast<uint16_t>(1u << r.Between(8, 15));
    return mask;
}

Channel DrawChannel(unsigned number, const ChannelKind& kind, Random& r)
{
    Channel c;
    c.number = number;
    c.kind = kind;
    c.base = r.Uniform(kind.usualLow, kind.usualHigh);
    c.period1 = r.Uniform(40, 120);
    c.phase1 = r.Uniform(0, 2 * std::numbers::pi);
    c.period2 = r.Uniform(7, 19);
    c.phase2 = r.Uniform(0, 2 * std::numbers::pi);
    c.failed = false;
    return c;
}

} // namespace

const std::vector<ChannelKind>& ChannelKinds()
{
    // quantity, unit, scale, scale bounds, decimals, usual band, swing
    static const std::vector<ChannelKind> kinds = {
        {1, 1, 1, 0, 100, 1, 2, 12, 1.5},      // CH4, % НКПР, 0-100
        {2, 3, 5, 0, 20, 2, 1, 6, 0.8},        // CO, мг/м3, 0-20
        {3, 2, 3, 0, 30, 2, 20.5, 21, 0.3},    // O2, % об., 0-30
        {4, 3, 2, 0, 50, 2, 0.5, 4, 0.5},      // H2S, мг/м3, 0-50
        {5, 2, 4, 0, 5, 3, 0.04, 0.8, 0.08},   // CO2, % об., 0-5
        {6, 3, 8, 0, 0.5, 3, 0.02, 0.2, 0.02}, // NO2, мг/м3, 0-0,5
        {7, 3, 5, 0, 20, 2, 0.2, 3, 0.3},      // SO2, мг/м3, 0-20
        {8, 3, 6, 0, 200, 1, 5, 40, 4},        // NH3, мг/м3, 0-200
        {9, 5, 2, 0, 50, 1, 18, 26, 1.2},      // Температура, °C, 0-50
        {10, 6, 6, 0, 200, 2, 99, 103, 0.4},   // Давление, кПа, 0-200
        {2, 4, 7, 0, 2000, 0, 5, 60, 6},       // CO, ppm, 0-2000
    };
    return kinds;
}

double Channel::ValueAt(double t) const
{
    const double wave = 0.7 * std::sin(2 * std::numbers::pi * t / period1 + phase1) +
                        0.3 * std::sin(2 * std::numbers::pi * t / period2 + phase2);
    const double v = std::clamp(base + kind.swing * wave, kind.scaleLow, kind.scaleHigh);
    return RoundTo(v, kind.decimals);
}

Instrument::Instrument(uint8_t address, uint64_t seed, std::optional<uint16_t> mask)
    : address_(address)
{
    Random r(MixSeed(seed, LAYOUT_STREAM, address));
    const uint16_t drawn = DrawMask(r);
    mask_ = mask ? *mask : drawn;

    // Kinds in a seeded order, each used once while there are enough.
    const auto& kinds = ChannelKinds();
    std::vector<size_t> order(kinds.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[r.Below(static_cast<uint32_t>(i))]);
    for (unsigned n = 0; n < MAX_CHANNELS; ++n) {
        if (mask_ & (1u << n))
            channels_.push_back(DrawChannel(n, kinds[order[channels_.size() % order.size()]], r));
    }
    // Every other instrument has one broken sensor; never channel 0's, so
    // register 0 always reads a number.
    if (r.Chance(0.5) && channels_.size() > 1)
        channels_[1 + r.Below(static_cast<uint32_t>(channels_.size() - 1))].failed = true;

    archive_ = MakeArchive(*this, MixSeed(seed, ARCHIVE_STREAM, address));
}

const Channel* Instrument::FindChannel(unsigned n) const
{
    for (const auto& c : channels_) {
        if (c.number == n)
            return &c;
    }
    return nullptr;
}

double Instrument::ReportedValue(unsigned n, double t) const
{
    const Channel* c = FindChannel(n);
    if (!c || c->failed)
        return BCD_INVALID;
    return RoundTo(c->ValueAt(t) - zeroCorrection_, c->kind.decimals);
}

void Instrument::ReportedBcd(unsigned n, double t, uint8_t bcd[4]) const
{
    DoubleToBcd(ReportedValue(n, t), bcd);
}

bool Instrument::InMap(uint16_t reg)
{
    if (reg < 2 * MAX_CHANNELS || reg == REG_MASK)
        return true;
    if (reg >= REG_COMMAND && reg < REG_COMMAND + 3)
        return true;
    if (reg < REG_DESCRIPTORS)
        return false;
    const unsigned offset = reg - REG_DESCRIPTORS;
    return offset / 10 < MAX_CHANNELS && offset % 10 < 2;
}

std::optional<uint16_t> Instrument::Register(uint16_t reg, double t) const
{
    if (!InMap(reg))
        return std::nullopt;
    if (reg < 2 * MAX_CHANNELS) {
        uint8_t bcd[4];
        ReportedBcd(reg / 2, t, bcd);
        const unsigned half = (reg % 2) * 2;
        return static_cast<uint16_t>(bcd[half] << 8 | bcd[half + 1]);
    }
    if (reg == REG_COMMAND)
        return commandCode_;
    if (reg == REG_COMMAND + 1)
        return static_cast<uint16_t>(commandArg_[0] << 8 | commandArg_[1]);
    if (reg == REG_COMMAND + 2)
        return static_cast<uint16_t>(commandArg_[2] << 8 | commandArg_[3]);
    if (reg == REG_MASK)
        return mask_;
    // Descriptor: unit and quantity codes, then the scale code and a byte
    // nobody reads; zeros for an absent channel.
    const unsigned offset = reg - REG_DESCRIPTORS;
    const Channel* c = FindChannel(offset / 10);
    if (!c)
        return 0;
    if (offset % 10 == 0)
        return static_cast<uint16_t>(c->kind.unitCode << 8 | c->kind.quantityCode);
    return static_cast<uint16_t>(c->kind.scaleCode << 8);
}

void Instrument::WriteCommand(uint16_t code, const uint8_t arg[4])
{
    commandCode_ = code;
    std::copy(arg, arg + 4, commandArg_);
    if (code != COMMAND_ZERO_CORRECTION)
        return;
    const double x = BcdToDouble(arg);
    if (std::fabs(x) < BCD_INVALID)
        zeroCorrection_ = x;
}

} // namespace sim
