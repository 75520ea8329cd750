#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The instrument's 4-byte numbers: byte 0 holds the sign (high nibble 8:
// negative) and the count of decimals (low nibble, at most 6); bytes 1..3
// hold six decimal digits. FF FF FF FF is the no-value pattern.

// The value that stands for "invalid or no value".
constexpr double BCD_INVALID = 999999.0;

double BcdToDouble(const uint8_t* bcd);
// One double per 4-byte group starting inside [b, e); a trailing group
// shorter than 4 bytes decodes as invalid. Returns the number of values.
size_t BcdGroupsToDoubles(const uint8_t* b, const uint8_t* e, double* out);
void DoubleToBcd(double x, uint8_t* bcd);
// False when x, rounded to the format's six digits, comes out as the
// no-value pattern or as 999999: the instrument would take it as "no value".
bool BcdCanCarry(double x);
// " " for magnitudes of 999999 and more, else "#0.######" with the separator.
std::string FormatBcdValue(double x, char decimalSeparator);
// "5->12,5": command code and its argument as the console shows them.
std::string CommandText(uint16_t code, const uint8_t* bcd);
