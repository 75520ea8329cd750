// The simulated instrument: register map, live values, zero correction,
// archive block.
#include "sim/SimArchive.h"
#include "sim/SimInstrument.h"

#include "ComPort/RS232Modbus.h"
#include "VCLUtils/bcd_.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>

namespace {

using sim::Instrument;

std::array<uint8_t, 4> Bcd(double x)
{
    std::array<uint8_t, 4> b;
    DoubleToBcd(x, b.data());
    return b;
}

// The value of channel n as it would arrive in registers 2n and 2n+1.
double ValueFromRegisters(const Instrument& inst, unsigned n, double t)
{
    const uint16_t hi = *inst.Register(static_cast<uint16_t>(2 * n), t);
    const uint16_t lo = *inst.Register(static_cast<uint16_t>(2 * n + 1), t);
    const uint8_t bytes[4] = {uint8_t(hi >> 8), uint8_t(hi), uint8_t(lo >> 8), uint8_t(lo)};
    return BcdToDouble(bytes);
}

// The first instrument (over seeds) that has a broken sensor.
Instrument InstrumentWithBrokenSensor()
{
    for (uint64_t seed = 1; seed < 100; ++seed) {
        Instrument inst(1, seed);
        for (const auto& c : inst.Channels()) {
            if (c.failed)
                return inst;
        }
    }
    ADD_FAILURE() << "no seed below 100 gives a broken sensor";
    return Instrument(1, 1);
}

} // namespace

TEST(SimInstrumentTest, RegisterMapAndNothingOutsideIt)
{
    const struct {
        unsigned reg;
        bool inMap;
    } cases[] = {{0, true},    {31, true},   {32, true},   {34, true},  {35, false}, {51, false},
                 {52, true},   {53, false},  {63, false},  {64, true},  {65, true},  {66, false},
                 {73, false},  {74, true},   {75, true},   {214, true}, {215, true}, {216, false},
                 {224, false}, {1000, false}, {0xFFFF, false}};
    const Instrument inst(1, 1, 0x8005);
    for (const auto& c : cases) {
        EXPECT_EQ(Instrument::InMap(static_cast<uint16_t>(c.reg)), c.inMap) << c.reg;
        EXPECT_EQ(inst.Register(static_cast<uint16_t>(c.reg), 0).has_value(), c.inMap) << c.reg;
    }
}

TEST(SimInstrumentTest, MaskDescriptorsAndValuesInTheirRegisters)
{
    const Instrument inst(3, 42, 0x8005); // channels 0, 2 and 15
    ASSERT_EQ(inst.Channels().size(), 3u);
    EXPECT_EQ(*inst.Register(52, 0), 0x8005);
    for (const auto& c : inst.Channels()) {
        const uint16_t base = static_cast<uint16_t>(64 + 10 * c.number);
        EXPECT_EQ(*inst.Register(base, 0), c.kind.unitCode << 8 | c.kind.quantityCode) << c.number;
        EXPECT_EQ(*inst.Register(base + 1, 0), c.kind.scaleCode << 8) << c.number;
        const auto bcd = Bcd(inst.ReportedValue(c.number, 7.5));
        EXPECT_EQ(*inst.Register(static_cast<uint16_t>(2 * c.number), 7.5), bcd[0] << 8 | bcd[1]);
        EXPECT_EQ(*inst.Register(static_cast<uint16_t>(2 * c.number + 1), 7.5), bcd[2] << 8 | bcd[3]);
    }
    // An absent channel: no value and an empty descriptor.
    EXPECT_EQ(*inst.Register(2, 0), 0xFFFF);
    EXPECT_EQ(*inst.Register(3, 0), 0xFFFF);
    EXPECT_EQ(*inst.Register(74, 0), 0);
    EXPECT_EQ(*inst.Register(75, 0), 0);
}

TEST(SimInstrumentTest, CodesComeFromTheSampleCatalogue)
{
    for (uint64_t seed = 1; seed <= 30; ++seed) {
        const Instrument inst(1, seed);
        for (const auto& c : inst.Channels()) {
            EXPECT_GE(c.kind.quantityCode, 1);
            EXPECT_LE(c.kind.quantityCode, 10);
            EXPECT_GE(c.kind.unitCode, 1);
            EXPECT_LE(c.kind.unitCode, 6);
            EXPECT_GE(c.kind.scaleCode, 1);
            EXPECT_LE(c.kind.scaleCode, 8);
        }
    }
}

TEST(SimInstrumentTest, SameSeedSameInstrumentOtherSeedOrAddressAnother)
{
    const Instrument a(1, 7), b(1, 7);
    EXPECT_EQ(a.Mask(), b.Mask());
    for (unsigned reg = 0; reg < 220; ++reg)
        EXPECT_EQ(a.Register(static_cast<uint16_t>(reg), 12.3), b.Register(static_cast<uint16_t>(reg), 12.3)) << reg;
    EXPECT_EQ(a.Archive(), b.Archive());

    auto registers = [](const Instrument& i) {
        std::vector<std::optional<uint16_t>> r;
        for (unsigned reg = 0; reg < 220; ++reg)
            r.push_back(i.Register(static_cast<uint16_t>(reg), 0));
        return r;
    };
    EXPECT_NE(registers(a), registers(Instrument(1, 8)));
    EXPECT_NE(registers(a), registers(Instrument(2, 7)));
}

TEST(SimInstrumentTest, SeededMasksVaryAndHoldThreeToSevenChannels)
{
    std::set<uint16_t> masks;
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        const Instrument inst(1, seed);
        masks.insert(inst.Mask());
        EXPECT_GE(inst.Channels().size(), 3u);
        EXPECT_LE(inst.Channels().size(), 7u);
        EXPECT_TRUE(inst.Mask() & 1) << "channel 0 always exists";
    }
    EXPECT_GE(masks.size(), 5u);
}

TEST(SimInstrumentTest, ValuesDriftSmoothlyWithinTheScale)
{
    bool moved = false;
    for (uint64_t seed = 1; seed <= 10; ++seed) {
        const Instrument inst(1, seed, 0xFFFF);
        for (const auto& c : inst.Channels()) {
            const double span = c.kind.scaleHigh - c.kind.scaleLow;
            double prev = c.ValueAt(0);
            for (double t = 0.5; t <= 300; t += 0.5) {
                const double v = c.ValueAt(t);
                EXPECT_GE(v, c.kind.scaleLow);
                EXPECT_LE(v, c.kind.scaleHigh);
                EXPECT_LE(std::fabs(v - prev), 0.05 * span) << "a jump on channel " << c.number << " at " << t;
                moved = moved || v != prev;
                prev = v;
            }
        }
    }
    EXPECT_TRUE(moved);
}

TEST(SimInstrumentTest, BrokenSensorReadsNoValueNeverOnChannelZero)
{
    const Instrument inst = InstrumentWithBrokenSensor();
    for (const auto& c : inst.Channels()) {
        if (!c.failed)
            continue;
        EXPECT_NE(c.number, 0u);
        EXPECT_EQ(*inst.Register(static_cast<uint16_t>(2 * c.number), 0), 0xFFFF);
        EXPECT_EQ(*inst.Register(static_cast<uint16_t>(2 * c.number + 1), 0), 0xFFFF);
        EXPECT_EQ(inst.ReportedValue(c.number, 55), BCD_INVALID);
    }
}

TEST(SimInstrumentTest, ZeroCorrectionIsSubtractedAndKeptInTheCommandRegisters)
{
    Instrument inst(1, 3, 0x0003);
    const double before = ValueFromRegisters(inst, 0, 10);

    const auto arg = Bcd(1.25);
    inst.WriteCommand(sim::COMMAND_ZERO_CORRECTION, arg.data());
    EXPECT_NEAR(ValueFromRegisters(inst, 0, 10), before - 1.25, 1e-9);
    EXPECT_EQ(*inst.Register(32, 0), 1);
    EXPECT_EQ(*inst.Register(33, 0), arg[0] << 8 | arg[1]);
    EXPECT_EQ(*inst.Register(34, 0), arg[2] << 8 | arg[3]);

    // The last correction counts, not the sum; another code leaves it.
    const auto half = Bcd(-0.5);
    inst.WriteCommand(1, half.data());
    EXPECT_NEAR(ValueFromRegisters(inst, 0, 10), before + 0.5, 1e-9);
    const auto other = Bcd(3);
    inst.WriteCommand(7, other.data());
    EXPECT_EQ(*inst.Register(32, 0), 7);
    EXPECT_NEAR(ValueFromRegisters(inst, 0, 10), before + 0.5, 1e-9);
    // A no-value argument is no correction.
    const uint8_t none[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    inst.WriteCommand(1, none);
    EXPECT_EQ(inst.ZeroCorrection(), -0.5);
}

TEST(SimArchiveTest, TwoHundredRecordsOfFortyNineBytesSomeValidSomeNot)
{
    const Instrument inst(1, 11, 0x0007);
    const auto& block = inst.Archive();
    ASSERT_EQ(block.size(), 9800u);

    int valid = 0, erased = 0, cleared = 0, badMarker = 0, badCrc = 0;
    int lastNumber = 0;
    for (size_t i = 0; i < 200; ++i) {
        const uint8_t* rec = &block[i * 49];
        const bool crcOk = ModbusCRC16(rec, rec + 49) == 0;
        if (std::all_of(rec, rec + 49, [](uint8_t b) { return b == 0xFF; })) {
            ++erased;
        } else if (std::all_of(rec, rec + 49, [](uint8_t b) { return b == 0x00; })) {
            ++cleared;
        } else if (rec[0] != 0xA0) {
            EXPECT_TRUE(crcOk) << "record " << i << ": only the marker is wrong";
            ++badMarker;
        } else if (!crcOk) {
            ++badCrc;
        }
        EXPECT_EQ(sim::IsValidArchiveRecord(rec), rec[0] == 0xA0 && crcOk);
        if (!sim::IsValidArchiveRecord(rec))
            continue;
        ++valid;
        EXPECT_GT(rec[1], lastNumber) << "numbers ascend";
        lastNumber = rec[1];
        // Three channels in the first slots, the other five empty.
        for (size_t k = 0; k < 8; ++k) {
            if (k < 3)
                EXPECT_EQ(rec[2 + k], inst.Channels()[k].kind.quantityCode);
            else
                EXPECT_TRUE(rec[2 + k] == 0x00 || rec[2 + k] == 0xFF) << int(rec[2 + k]);
        }
        for (size_t k = 10; k < 15; ++k)
            EXPECT_TRUE((rec[k] >> 4) <= 9 && (rec[k] & 0x0F) <= 9) << "date and time are BCD";
        EXPECT_GE(rec[11], 0x01);
        EXPECT_LE(rec[11], 0x12);
        for (size_t k = 0; k < 3; ++k) {
            const double v = BcdToDouble(rec + 15 + 4 * k);
            const auto& kind = inst.Channels()[k].kind;
            EXPECT_TRUE(v == BCD_INVALID || (v >= kind.scaleLow && v <= kind.scaleHigh)) << v;
        }
    }
    EXPECT_GE(valid, 140);
    EXPECT_GE(cleared, 1);
    EXPECT_GE(badMarker, 1);
    EXPECT_GE(badCrc, 1);
    EXPECT_EQ(valid + erased + cleared + badMarker + badCrc, 200);
}

TEST(SimArchiveTest, SameSeedSameBlockOtherSeedAnother)
{
    EXPECT_EQ(Instrument(1, 5).Archive(), Instrument(1, 5).Archive());
    EXPECT_NE(Instrument(1, 5).Archive(), Instrument(1, 6).Archive());
    EXPECT_NE(Instrument(1, 5).Archive(), Instrument(2, 5).Archive());
}
