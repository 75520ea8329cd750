#pragma once

#include <cstdint>
#include <string>
#include <utility>

class QDateTime;

namespace my {

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace my

// Whole-text number parsing for user entries and INI values. The flag is true
// only when the whole text is a number.
std::pair<double, bool> ParseDouble(const std::string& text);
std::pair<int32_t, bool> ParseInt(const std::string& text, int base = 10);

// The standard complaint about an entry field; ShowInputError (GUI layer)
// shows it under the caption InputErrorCaption.
std::string InputErrorText(const std::string& fieldName, const std::string& entered);
extern const char* const InputErrorCaption;

// Rows of up to 16 bytes: prefix, offset (4 hex digits at least), tab, bytes.
std::string HexDump(const uint8_t* b, const uint8_t* e, const std::string& rowPrefix);

// "04_Апрель": two-digit month, "_", the locale's full month name.
std::string MonthDirName(int month);
// "2010/04_Апрель/6": year, month directory, day.
std::string DatePath(const QDateTime& when);
// "14_3_9": hour, minute, second without leading zeros.
std::string TimeStem(const QDateTime& when);
