#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ThisModule;

// The instrument's archive: records of 49 bytes. Marker 0xA0, a number,
// eight quantity codes, day, month, year, hour and minute in BCD, eight
// 4-byte BCD values, then the CRC-16/MODBUS of the rest, low byte first.
constexpr size_t ARCHIVE_RECORD_SIZE = 49;

// The text line of one record, UTF-8, without line end: number, date, time,
// then "name=value" for every slot in use, each field followed by a tab.
// False (and the line untouched) when the record is not valid.
bool ArchiveRecordLine(const uint8_t* record, const ThisModule& names, const std::string& decimalSeparator,
                       std::string* line);
// With the program's catalogue and the system's decimal separator.
bool ArchiveRecordLine(const uint8_t* record, std::string* line);

// Writes "archive.bin" (the block unchanged) and "archive.txt" (one line per
// valid record, Windows-1251, CRLF) into dir (ending with "/"), replacing
// both. Returns the text file's path. A file that cannot be written is
// skipped silently: the caller opens the text file whatever happened.
std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end,
                             const ThisModule& names, const std::string& decimalSeparator);
std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end);
