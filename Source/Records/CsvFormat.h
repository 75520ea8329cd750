#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The lines of the program's CSV files (recordings, exported archives), in
// UTF-8 without line end: ";" between fields, date and time first, then one
// field per channel. Spreadsheets with Russian settings open them without
// an import dialog once they are Windows-1251 with CRLF (CsvFileLine).

// "<label> <number>: <quantity>, <unit>"; without ", <unit>" when the unit
// is not known.
std::string CsvColumnTitle(const std::string& label, uint32_t number, const std::string& quantity,
                           const std::string& unit);
// "Дата;Время;" and the titles.
std::string CsvHeaderLine(const std::vector<std::string>& titles);
// date;time;values, each with three decimals and the given separator; an
// invalid value (magnitude 999999 or more) leaves its field empty.
std::string CsvRowLine(const std::string& date, const std::string& time, const std::vector<double>& values,
                       const std::string& decimalSeparator);
// A line as it goes into the file: Windows-1251, CRLF.
std::string CsvFileLine(const std::string& utf8);
