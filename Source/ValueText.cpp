#include "ValueText.h"

#include "VCLUtils/MyStrUtils.h"

#include <QLocale>

std::string FormatValueWith(double v, const std::string& decimalSeparator)
{
    // "#0.00000000", then the last five characters go.
    std::string s = my::Format("%.8f", v);
    if (s.size() > 5)
        s.resize(s.size() - 5);
    const size_t point = s.find('.');
    if (point != std::string::npos)
        s.replace(point, 1, decimalSeparator);
    return s;
}

std::string FormatValue(double v)
{
    return FormatValueWith(v, QLocale::system().decimalPoint().toStdString());
}

std::string ScaleText(const std::pair<double, double>& scale)
{
    if (scale.first == 0 && scale.second == 0)
        return "...";
    return my::Format("%g-%g", scale.first, scale.second);
}
