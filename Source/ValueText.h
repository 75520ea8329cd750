#pragma once

#include <string>
#include <utility>

// A measured value with exactly three decimals, cut off rather than rounded,
// after rounding to eight decimals first: 1.23456789 -> "1.234",
// 2.9999999951 -> "3.000", -0.0004 -> "-0.000". FormatValue uses the
// system's decimal separator.
std::string FormatValueWith(double v, const std::string& decimalSeparator);
std::string FormatValue(double v);

// A measuring range (lower, upper) as "%g-%g"; "..." for the (0, 0) of a
// code without a valid scale.
std::string ScaleText(const std::pair<double, double>& scale);
