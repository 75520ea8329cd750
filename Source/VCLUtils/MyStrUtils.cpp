#include "VCLUtils/MyStrUtils.h"

#include <QDateTime>
#include <QLocale>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

// The user's locale may take "," as the decimal point; numbers here are
// always read with ".".
locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// Only plain decimal notation: strtod would also take "inf", "nan" and hex
// floats, which no user means when typing a correction value.
bool LooksDecimal(const std::string& s)
{
    return s.find_first_not_of(" \t\n\v\f\r0123456789+-.eE") == std::string::npos;
}

} // namespace

// Texts are formatted with "." whatever the user's locale says: they go to
// logs, INI files and the instrument, not to the user's number settings.
std::string my::Format(const char* fmt, ...)
{
    const locale_t previous = uselocale(CLocale());
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    uselocale(previous);
    return out;
}

std::pair<double, bool> ParseDouble(const std::string& text)
{
    if (text.empty())
        return {0.0, false};
    std::string s = text;
    for (char& c : s)
        if (c == ',')
            c = '.';
    if (!LooksDecimal(s))
        return {0.0, false};
    char* end = nullptr;
    const double v = strtod_l(s.c_str(), &end, CLocale());
    const bool whole = end != s.c_str() && *end == '\0';
    return {v, whole && std::isfinite(v)};
}

std::pair<int32_t, bool> ParseInt(const std::string& text, int base)
{
    if (text.empty())
        return {0, false};
    char* end = nullptr;
    errno = 0;
    const long v = strtol_l(text.c_str(), &end, base, CLocale());
    // Up to the text's own end: a NUL byte inside it (a hand-edited INI
    // file) ends the C string, not the text.
    const bool whole = end != text.c_str() && end == text.c_str() + text.size();
    // long is 64-bit here; keep the 32-bit limits the callers expect.
    const long clamped = v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v);
    return {static_cast<int32_t>(clamped), whole};
}

const char* const InputErrorCaption = "Некорректный ввод!";

std::string InputErrorText(const std::string& fieldName, const std::string& entered)
{
    if (entered.empty())
        return my::Format("Отсутствуют данные в поле \"%s\"!", fieldName.c_str());
    return my::Format("Не корректные данные \"%s\" в поле \"%s\"!", entered.c_str(), fieldName.c_str());
}

std::string HexDump(const uint8_t* b, const uint8_t* e, const std::string& rowPrefix)
{
    std::string text;
    for (unsigned offset = 0; b < e; offset += 16) {
        text += rowPrefix;
        text += my::Format("%04X\t", offset);
        for (int i = 0; i < 16 && b < e; ++i, ++b)
            text += my::Format("%02X ", *b);
        if (b < e)
            text += "\n";
    }
    return text;
}

std::string MonthDirName(int month)
{
    std::string s = my::Format("%02d", month);
    if (month >= 1 && month <= 12) {
        // Windows names months in the nominative with a capital letter
        // ("Апрель"); Qt's stand-alone names are that, in lower case.
        QString name = QLocale::system().standaloneMonthName(month, QLocale::LongFormat);
        if (!name.isEmpty())
            name[0] = name[0].toUpper();
        // Appended in two steps: "_" + std::string trips GCC 12's false
        // -Wrestrict in optimised builds.
        s += '_';
        s += name.toStdString();
    }
    return s;
}

std::string DatePath(const QDateTime& when)
{
    const QDate d = when.date();
    return my::Format("%d/%s/%d", d.year(), MonthDirName(d.month()).c_str(), d.day());
}

std::string TimeStem(const QDateTime& when)
{
    const QTime t = when.time();
    return my::Format("%d_%d_%d", t.hour(), t.minute(), t.second());
}
