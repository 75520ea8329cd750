#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QDateTime;
class ThisModule;

// The instrument's archive: records of 49 bytes. Marker 0xA0, a number,
// eight quantity codes, day, month, year, hour and minute in BCD, eight
// 4-byte BCD values, then the CRC-16/MODBUS of the rest, low byte first.
constexpr size_t ARCHIVE_RECORD_SIZE = 49;
constexpr int ARCHIVE_SLOT_COUNT = 8;

// A valid record, decoded. Date and time stay the BCD bytes they were: a
// broken byte is shown as it is rather than as a made-up number.
struct ArchiveRecord {
    unsigned number;
    uint8_t day, month, year, hour, minute;
    // 0x00 and 0xFF mark an empty slot.
    std::array<uint8_t, ARCHIVE_SLOT_COUNT> codes;
    // BcdToDouble of each slot: 999999 when invalid.
    std::array<double, ARCHIVE_SLOT_COUNT> values;

    bool IsEmptySlot(int k) const { return codes[k] == 0x00 || codes[k] == 0xFF; }
    // "dd.mm.20yy", "hh:mm:00": the record holds no seconds.
    std::string DateText() const;
    std::string TimeText() const;
};

// False (and *decoded untouched) when the record is not valid.
bool DecodeArchiveRecord(const uint8_t* record, ArchiveRecord* decoded);
// The valid records of a block, in block order.
std::vector<ArchiveRecord> DecodeArchive(const uint8_t* begin, const uint8_t* end);

// The text line of one record, UTF-8, without line end: number, date, time,
// then "name=value" for every slot in use, each field followed by a tab.
// False (and the line untouched) when the record is not valid.
bool ArchiveRecordLine(const uint8_t* record, const ThisModule& names, const std::string& decimalSeparator,
                       std::string* line);
// With the program's catalogue and the system's decimal separator.
bool ArchiveRecordLine(const uint8_t* record, std::string* line);

// Writes "archive.bin" (the block unchanged) and "archive.txt" (one line per
// valid record, Windows-1251, CRLF) into dir (ending with "/"), replacing
// both. Returns the text file's path. Throws MyException naming the file
// when one cannot be written (a folder the user may not write to).
std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end,
                             const ThisModule& names, const std::string& decimalSeparator);
std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end);

// Keeps the block as a file of its own that no later download replaces:
// "Archives/<address>_<yyyy-mm-dd_hh-mm-ss>.bin" in dir (ending with "/"),
// the folder created when missing. Returns its path, empty when it could not
// be written (not reported: "archive.bin" is still there).
std::string SaveArchiveCopy(const std::string& dir, int address, const QDateTime& when, const uint8_t* begin,
                            const uint8_t* end);
