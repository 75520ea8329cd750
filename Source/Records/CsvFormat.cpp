#include "CsvFormat.h"

#include "ValueText.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>

namespace {

const char kSeparator = ';';

// A name never splits its field.
std::string FieldText(std::string text)
{
    std::replace(text.begin(), text.end(), kSeparator, ',');
    return text;
}

} // namespace

std::string CsvColumnTitle(const std::string& label, uint32_t number, const std::string& quantity,
                           const std::string& unit)
{
    return label + " " + std::to_string(number) + ": " + quantity + (unit.empty() ? "" : ", " + unit);
}

std::string CsvHeaderLine(const std::vector<std::string>& titles)
{
    std::string line = "Дата;Время";
    for (const std::string& t : titles)
        line += kSeparator + FieldText(t);
    return line;
}

std::string CsvRowLine(const std::string& date, const std::string& time, const std::vector<double>& values,
                       const std::string& decimalSeparator)
{
    std::string line = date + kSeparator + time;
    for (double v : values) {
        line += kSeparator;
        if (std::fabs(v) < BCD_INVALID)
            line += FormatValueWith(v, decimalSeparator);
    }
    return line;
}

std::string CsvFileLine(const std::string& utf8) { return my::Utf8ToCp1251(utf8) + "\r\n"; }
