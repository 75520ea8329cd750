#include "ArchiveFiles.h"

#include "ComPort/RS232Modbus.h"
#include "StampedFile.h"
#include "DevSys/Catalogue.h"
#include "Excpt/MyExeption.h"
#include "ValueText.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/bcd_.h"

#include <QLocale>

#include <fstream>

namespace {

enum RecordOffset : size_t {
    MARKER = 0,
    NUMBER = 1,
    CODES = 2,
    DAY = 10,
    MONTH = 11,
    YEAR = 12,
    HOUR = 13,
    MINUTE = 14,
    VALUES = 15,
};
constexpr uint8_t VALID_MARKER = 0xA0;

bool IsValidRecord(const uint8_t* record)
{
    // The CRC of a record together with its own CRC bytes is 0.
    return record[MARKER] == VALID_MARKER && ModbusCRC16(record, record + ARCHIVE_RECORD_SIZE) == 0;
}

std::string SlotsText(const ArchiveRecord& r, const ThisModule& names, const std::string& decimalSeparator)
{
    std::string text;
    for (int k = 0; k < ARCHIVE_SLOT_COUNT; ++k)
        if (!r.IsEmptySlot(k))
            text += names.VarName(r.codes[k]) + "=" + FormatValueWith(r.values[k], decimalSeparator) + "\t";
    return text;
}

std::string SystemDecimalSeparator() { return QLocale::system().decimalPoint().toStdString(); }

// Truncates on open, so nothing of an earlier archive stays behind; a stream
// that failed to open swallows the writes.
bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

void WriteFileOrThrow(const std::string& path, const std::string& bytes)
{
    if (!WriteFile(path, bytes))
        throw PMyExcpt(new MyException(FILE_LINE, "Архив не сохранён: не удалось записать \"" + path + "\"!"));
}

} // namespace

// The bytes are BCD, so their hex digits are the decimal digits.
std::string ArchiveRecord::DateText() const { return my::Format("%02X.%02X.20%02X", day, month, year); }

// The record holds no seconds: they are written as 00, so that the time
// keeps the hh:mm:ss layout that programs reading the file expect, without
// passing off a byte of the first value as seconds.
std::string ArchiveRecord::TimeText() const { return my::Format("%02X:%02X:00", hour, minute); }

bool DecodeArchiveRecord(const uint8_t* r, ArchiveRecord* decoded)
{
    if (!IsValidRecord(r))
        return false;
    ArchiveRecord d{r[NUMBER], r[DAY], r[MONTH], r[YEAR], r[HOUR], r[MINUTE], {}, {}};
    for (int k = 0; k < ARCHIVE_SLOT_COUNT; ++k) {
        d.codes[k] = r[CODES + k];
        d.values[k] = BcdToDouble(r + VALUES + 4 * k);
    }
    *decoded = d;
    return true;
}

std::vector<ArchiveRecord> DecodeArchive(const uint8_t* begin, const uint8_t* end)
{
    std::vector<ArchiveRecord> records;
    ArchiveRecord r;
    for (const uint8_t* p = begin; end - p >= static_cast<ptrdiff_t>(ARCHIVE_RECORD_SIZE); p += ARCHIVE_RECORD_SIZE)
        if (DecodeArchiveRecord(p, &r))
            records.push_back(r);
    return records;
}

bool ArchiveRecordLine(const uint8_t* record, const ThisModule& names, const std::string& decimalSeparator,
                       std::string* line)
{
    ArchiveRecord r;
    if (!DecodeArchiveRecord(record, &r))
        return false;
    *line = my::Format("%u\t", r.number) + r.DateText() + "\t" + r.TimeText() + "\t" +
            SlotsText(r, names, decimalSeparator);
    return true;
}

bool ArchiveRecordLine(const uint8_t* record, std::string* line)
{
    return ArchiveRecordLine(record, ThisModule::Instance(), SystemDecimalSeparator(), line);
}

std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end,
                             const ThisModule& names, const std::string& decimalSeparator)
{
    WriteFileOrThrow(dir + "archive.bin", std::string(begin, end));

    std::string text;
    std::string line;
    for (const uint8_t* r = begin; end - r >= static_cast<ptrdiff_t>(ARCHIVE_RECORD_SIZE); r += ARCHIVE_RECORD_SIZE)
        if (ArchiveRecordLine(r, names, decimalSeparator, &line))
            text += line + "\r\n";
    const std::string textPath = dir + "archive.txt";
    WriteFileOrThrow(textPath, my::Utf8ToCp1251(text));
    return textPath;
}

std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end)
{
    return SaveArchiveFiles(dir, begin, end, ThisModule::Instance(), SystemDecimalSeparator());
}

std::string SaveArchiveCopy(const std::string& dir, int address, const QDateTime& when, const uint8_t* begin,
                            const uint8_t* end)
{
    const std::string path = NewStampedPath(dir, "Archives", address, when, ".bin");
    if (path.empty() || !WriteFile(path, std::string(begin, end)))
        return std::string();
    return path;
}
