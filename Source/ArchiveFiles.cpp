#include "ArchiveFiles.h"

#include "ComPort/RS232Modbus.h"
#include "StampedFile.h"
#include "DevSys/Catalogue.h"
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
constexpr int SLOT_COUNT = 8;
constexpr uint8_t VALID_MARKER = 0xA0;

bool IsValidRecord(const uint8_t* record)
{
    // The CRC of a record together with its own CRC bytes is 0.
    return record[MARKER] == VALID_MARKER && ModbusCRC16(record, record + ARCHIVE_RECORD_SIZE) == 0;
}

bool IsEmptySlot(uint8_t code) { return code == 0x00 || code == 0xFF; }

// The bytes are BCD, so their hex digits are the decimal digits; a broken
// byte shows as it is (1A) rather than as a made-up number. The record holds
// no seconds: they are written as 00, so that the time keeps the
// hh:mm:ss layout that programs reading the file expect, without passing
// off a byte of the first value as seconds.
std::string DateTimeText(const uint8_t* r)
{
    return my::Format("%02X.%02X.20%02X\t%02X:%02X:00", r[DAY], r[MONTH], r[YEAR], r[HOUR], r[MINUTE]);
}

std::string SlotsText(const uint8_t* r, const ThisModule& names, const std::string& decimalSeparator)
{
    std::string text;
    for (int k = 0; k < SLOT_COUNT; ++k) {
        const uint8_t code = r[CODES + k];
        if (IsEmptySlot(code))
            continue;
        text += names.VarName(code) + "=" + FormatValueWith(BcdToDouble(r + VALUES + 4 * k), decimalSeparator) + "\t";
    }
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

} // namespace

bool ArchiveRecordLine(const uint8_t* record, const ThisModule& names, const std::string& decimalSeparator,
                       std::string* line)
{
    if (!IsValidRecord(record))
        return false;
    *line = my::Format("%u\t", record[NUMBER]) + DateTimeText(record) + "\t" + SlotsText(record, names, decimalSeparator);
    return true;
}

bool ArchiveRecordLine(const uint8_t* record, std::string* line)
{
    return ArchiveRecordLine(record, ThisModule::Instance(), SystemDecimalSeparator(), line);
}

std::string SaveArchiveFiles(const std::string& dir, const uint8_t* begin, const uint8_t* end,
                             const ThisModule& names, const std::string& decimalSeparator)
{
    WriteFile(dir + "archive.bin", std::string(begin, end));

    std::string text;
    std::string line;
    for (const uint8_t* r = begin; end - r >= static_cast<ptrdiff_t>(ARCHIVE_RECORD_SIZE); r += ARCHIVE_RECORD_SIZE)
        if (ArchiveRecordLine(r, names, decimalSeparator, &line))
            text += line + "\r\n";
    const std::string textPath = dir + "archive.txt";
    WriteFile(textPath, my::Utf8ToCp1251(text));
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
