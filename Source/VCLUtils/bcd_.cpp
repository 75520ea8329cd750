#include "VCLUtils/bcd_.h"

#include "VCLUtils/MyStrUtils.h"

#include <cmath>

namespace {

bool IsBcdByte(uint8_t b) { return b <= 0x9F && (b & 0x0F) <= 9; }

int DigitsOfInteger(double x)
{
    int n = 0;
    for (double v = std::floor(x); v >= 1.0; v = std::floor(v / 10.0))
        ++n;
    return n;
}

} // namespace

double BcdToDouble(const uint8_t* bcd)
{
    long digits = 0;
    for (int i = 1; i <= 3; ++i) {
        if (!IsBcdByte(bcd[i]))
            return BCD_INVALID;
        digits = digits * 100 + (bcd[i] >> 4) * 10 + (bcd[i] & 0x0F);
    }
    int decimals = bcd[0] & 0x0F;
    if (decimals > 6)
        decimals = 6;
    const double value = digits / std::pow(10.0, decimals);
    return (bcd[0] >> 4) == 8 ? -value : value;
}

size_t BcdGroupsToDoubles(const uint8_t* b, const uint8_t* e, double* out)
{
    size_t n = 0;
    for (const uint8_t* p = b; p < e; p += 4, ++n)
        out[n] = e - p >= 4 ? BcdToDouble(p) : BCD_INVALID;
    return n;
}

bool BcdCanCarry(double x)
{
    uint8_t bcd[4];
    DoubleToBcd(x, bcd);
    return std::fabs(BcdToDouble(bcd)) < BCD_INVALID;
}

void DoubleToBcd(double x, uint8_t* bcd)
{
    if (!(std::fabs(x) < BCD_INVALID)) { // also NaN
        bcd[0] = bcd[1] = bcd[2] = bcd[3] = 0xFF;
        return;
    }
    uint8_t head = 0;
    if (!(x >= 0)) {
        head = 0x80;
        x = -x;
    }
    int decimals = 0;
    if (x != 0) {
        const double rounded = std::round(x * 1e6) / 1e6;
        decimals = 6 - DigitsOfInteger(rounded);
        if (decimals < 0)
            decimals = 0;
        if (decimals > 6)
            decimals = 6;
    }
    long scaled = std::lround(x * std::pow(10.0, decimals));
    // A value such as 99999.96 rounds up to seven digits at its scale: take
    // one decimal less rather than lose the leading digit.
    while (scaled >= 1000000 && decimals > 0) {
        --decimals;
        scaled = std::lround(x * std::pow(10.0, decimals));
    }
    bcd[0] = static_cast<uint8_t>(head + decimals);
    for (int i = 3; i >= 1; --i) {
        const int pair = static_cast<int>(scaled % 100);
        scaled /= 100;
        bcd[i] = static_cast<uint8_t>((pair / 10) << 4 | (pair % 10));
    }
}

std::string FormatBcdValue(double x, char decimalSeparator)
{
    if (!(std::fabs(x) < BCD_INVALID))
        return " ";
    std::string s = my::Format("%.6f", x);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    if (s == "-0")
        s = "0";
    for (char& c : s)
        if (c == '.')
            c = decimalSeparator;
    return s;
}

std::string CommandText(uint16_t code, const uint8_t* bcd)
{
    const double x = BcdToDouble(bcd);
    const std::string value = x == BCD_INVALID ? std::string("...") : FormatBcdValue(x, ',');
    return my::Format("%d->%s", code, value.c_str());
}
