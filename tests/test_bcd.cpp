#include "VCLUtils/bcd_.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

typedef std::array<uint8_t, 4> Bcd;

Bcd Encode(double x)
{
    Bcd b;
    DoubleToBcd(x, b.data());
    return b;
}

} // namespace

TEST(BcdToDoubleTest, WorkedExamples)
{
    const struct {
        Bcd bytes;
        double value;
    } cases[] = {
        {{0x04, 0x12, 0x50, 0x00}, 12.5},      {{0x86, 0x75, 0x00, 0x00}, -0.75},
        {{0x00, 0x00, 0x00, 0x00}, 0.0},       {{0x00, 0x99, 0x99, 0x98}, 999998.0},
        {{0x07, 0x12, 0x34, 0x56}, 0.123456},  {{0x40, 0x00, 0x00, 0x01}, 1.0},
        {{0x00, 0x1A, 0x00, 0x00}, 999999.0},  {{0xFF, 0xFF, 0xFF, 0xFF}, 999999.0},
        {{0x00, 0xA0, 0x00, 0x00}, 999999.0},  {{0x02, 0x00, 0x00, 0x9F}, 999999.0},
        {{0x8F, 0x12, 0x34, 0x56}, -0.123456}, {{0x90, 0x00, 0x00, 0x05}, 5.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(BcdToDouble(c.bytes.data()), c.value)
            << std::hex << int(c.bytes[0]) << ' ' << int(c.bytes[1]) << ' ' << int(c.bytes[2]) << ' '
            << int(c.bytes[3]);
}

TEST(DoubleToBcdTest, WorkedExamples)
{
    const struct {
        double value;
        Bcd bytes;
    } cases[] = {
        {12.5, {0x04, 0x12, 0x50, 0x00}},      {-0.75, {0x86, 0x75, 0x00, 0x00}},
        {0.0, {0x00, 0x00, 0x00, 0x00}},       {999998.0, {0x00, 0x99, 0x99, 0x98}},
        {999999.0, {0xFF, 0xFF, 0xFF, 0xFF}},  {-1000000.0, {0xFF, 0xFF, 0xFF, 0xFF}},
        {123456.7, {0x00, 0x12, 0x34, 0x57}},  {-12.5, {0x84, 0x12, 0x50, 0x00}},
        {0.5, {0x06, 0x50, 0x00, 0x00}},       {0.000001, {0x06, 0x00, 0x00, 0x01}},
        {0.0000004, {0x06, 0x00, 0x00, 0x00}}, {NAN, {0xFF, 0xFF, 0xFF, 0xFF}},
        // Values whose rounding needs a seventh digit lose a decimal instead.
        {99999.96, {0x00, 0x10, 0x00, 0x00}},  {9.9999996, {0x04, 0x10, 0x00, 0x00}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Encode(c.value), c.bytes) << c.value;
}

TEST(DoubleToBcdTest, RoundTripKeepsSixSignificantDigits)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    for (int i = 0; i < 2000; ++i) {
        const double x = mantissa(rng) * std::pow(10.0, i % 6);
        const Bcd b = Encode(x);
        const double back = BcdToDouble(b.data());
        EXPECT_NEAR(back, x, std::max(std::fabs(x) * 1e-5, 1e-6)) << x;
    }
}

// What reaches the instrument as 999999 or FF FF FF FF is "no value" there.
TEST(BcdCanCarryTest, RefusesWhatComesOutAsNoValue)
{
    const struct {
        double value;
        bool carried;
    } cases[] = {
        {0.0, true},        {0.5, true},        {-12.5, true},       {999998.0, true},   {999998.4, true},
        {-999998.4, true},  {99999.96, true},   {999998.6, false},   {-999998.6, false}, {999999.0, false},
        {-999999.0, false}, {1e7, false},       {INFINITY, false},   {-INFINITY, false}, {NAN, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BcdCanCarry(c.value), c.carried) << c.value;
}

TEST(BcdGroupsTest, OneValuePerGroupAndNoReadPastTheEnd)
{
    const uint8_t bytes[] = {0x04, 0x12, 0x50, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    double out[3] = {0, 0, 0};
    EXPECT_EQ(BcdGroupsToDoubles(bytes, bytes + 8, out), 2u);
    EXPECT_DOUBLE_EQ(out[0], 12.5);
    EXPECT_DOUBLE_EQ(out[1], BCD_INVALID);
    EXPECT_EQ(BcdGroupsToDoubles(bytes, bytes + 10, out), 3u);
    EXPECT_DOUBLE_EQ(out[2], BCD_INVALID);
    EXPECT_EQ(BcdGroupsToDoubles(bytes, bytes, out), 0u);
}

TEST(FormatBcdValueTest, HashZeroPointSixHashes)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {12.5, "12,5"},    {3.0, "3"},       {0.000001, "0,000001"}, {-999999.0, " "}, {999999.0, " "},
        {-0.75, "-0,75"},  {0.0, "0"},       {1.23456789, "1,234568"}, {-0.0000001, "0"}, {1e7, " "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatBcdValue(c.value, ','), c.text) << c.value;
    EXPECT_EQ(FormatBcdValue(12.5, '.'), "12.5");
}

TEST(CommandTextTest, CodeArrowValue)
{
    const Bcd value = {0x04, 0x12, 0x50, 0x00};
    EXPECT_EQ(CommandText(5, value.data()), "5->12,5");
    const Bcd none = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(CommandText(1, none.data()), "1->...");
    const Bcd half = Encode(0.5);
    EXPECT_EQ(CommandText(65535, half.data()), "65535->0,5");
}
