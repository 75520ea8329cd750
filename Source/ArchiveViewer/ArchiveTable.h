#pragma once

#include "ArchiveFiles.h"
#include "DevSys/task_.h"

#include <QDateTime>

#include <string>
#include <vector>

class ThisModule;

// What the archive window shows of a 9800-byte block: its valid records in
// block order and the value slots that any of them uses, each titled by the
// quantities recorded in it. A record holds only a quantity code per slot;
// the unit and scale come from the channel of the instrument's list that
// measures that quantity, when the list is known.
class ArchiveTable {
public:
    ArchiveTable(const std::string& block, const ThisModule& names, const ModbusChanals& chanals);

    const std::vector<ArchiveRecord>& Records() const { return records_; }
    // Slot indexes 0..7 in use, ascending.
    const std::vector<int>& Slots() const { return slots_; }

    // The quantity, unit and scale of a slot, one per line (unknown ones
    // left out); several quantities in one slot joined by " / ".
    std::string SlotHeader(int slot) const;
    // "Слот <slot+1>: <quantity>, <unit>" as a CSV column title.
    std::string SlotCsvTitle(int slot) const;
    // The value of a slot as the table shows it; empty for an empty slot or
    // an invalid value.
    static std::string ValueText(const ArchiveRecord& r, int slot, const std::string& decimalSeparator);
    // The time of a record; invalid when its date or time bytes are broken.
    static QDateTime Time(const ArchiveRecord& r);

    // The whole CSV file, as recordings are written: Windows-1251, CRLF.
    std::string CsvText(const std::string& decimalSeparator) const;

private:
    struct Quantity {
        std::string name;
        std::string unit;
        std::string scale;
    };
    Quantity QuantityOf(uint8_t code) const;
    std::vector<uint8_t> CodesOf(int slot) const;

    const ThisModule& names_;
    ModbusChanals chanals_;
    std::vector<ArchiveRecord> records_;
    std::vector<int> slots_;
};

// Reads a saved archive: exactly 9800 bytes. False with a message for the
// user when the file cannot be read or has another size.
bool ReadArchiveFile(const std::string& path, std::string* block, std::string* error);
