#include "ArchiveViewer/ArchiveTable.h"

#include "DevSys/Catalogue.h"
#include "Records/CsvFormat.h"
#include "ValueText.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace {

// The number in a BCD byte; -1 when a nibble is not a decimal digit.
int BcdByte(uint8_t b)
{
    const int high = b >> 4, low = b & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

} // namespace

ArchiveTable::ArchiveTable(const std::string& block, const ThisModule& names, const ModbusChanals& chanals)
    : names_(names), chanals_(chanals), records_(DecodeArchive(Bytes(block), Bytes(block) + block.size()))
{
    for (int k = 0; k < ARCHIVE_SLOT_COUNT; ++k)
        if (std::any_of(records_.begin(), records_.end(), [k](const ArchiveRecord& r) { return !r.IsEmptySlot(k); }))
            slots_.push_back(k);
}

std::vector<uint8_t> ArchiveTable::CodesOf(int slot) const
{
    std::vector<uint8_t> codes;
    for (const ArchiveRecord& r : records_)
        if (!r.IsEmptySlot(slot) && std::find(codes.begin(), codes.end(), r.codes[slot]) == codes.end())
            codes.push_back(r.codes[slot]);
    return codes;
}

ArchiveTable::Quantity ArchiveTable::QuantityOf(uint8_t code) const
{
    Quantity q{names_.VarName(code), "", ""};
    const auto ch = std::find_if(chanals_.begin(), chanals_.end(),
                                 [code](const ModbusChanalTag& c) { return c.quantityCode == code; });
    if (ch != chanals_.end()) {
        q.unit = names_.UnitName(ch->unitCode);
        q.scale = ScaleText(names_.ScaleOf(ch->scaleCode));
    }
    return q;
}

std::string ArchiveTable::SlotHeader(int slot) const
{
    std::string header;
    for (uint8_t code : CodesOf(slot)) {
        const Quantity q = QuantityOf(code);
        std::string text = q.name;
        for (const std::string* extra : {&q.unit, &q.scale})
            if (!extra->empty())
                text += "\n" + *extra;
        header += (header.empty() ? "" : " / ") + text;
    }
    return header;
}

std::string ArchiveTable::SlotCsvTitle(int slot) const
{
    std::string names, units;
    for (uint8_t code : CodesOf(slot)) {
        const Quantity q = QuantityOf(code);
        names += (names.empty() ? "" : " / ") + q.name;
        if (!q.unit.empty())
            units += (units.empty() ? "" : " / ") + q.unit;
    }
    return CsvColumnTitle("Слот", static_cast<uint32_t>(slot + 1), names, units);
}

std::string ArchiveTable::ValueText(const ArchiveRecord& r, int slot, const std::string& decimalSeparator)
{
    if (r.IsEmptySlot(slot) || std::fabs(r.values[slot]) >= BCD_INVALID)
        return std::string();
    return FormatValueWith(r.values[slot], decimalSeparator);
}

QDateTime ArchiveTable::Time(const ArchiveRecord& r)
{
    const QDate date(2000 + BcdByte(r.year), BcdByte(r.month), BcdByte(r.day));
    const QTime time(BcdByte(r.hour), BcdByte(r.minute));
    if (BcdByte(r.year) < 0 || !date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

std::string ArchiveTable::CsvText(const std::string& decimalSeparator) const
{
    std::vector<std::string> titles;
    for (int k : slots_)
        titles.push_back(SlotCsvTitle(k));
    std::string text = CsvFileLine(CsvHeaderLine(titles));
    for (const ArchiveRecord& r : records_) {
        std::vector<double> values;
        for (int k : slots_)
            values.push_back(r.IsEmptySlot(k) ? BCD_INVALID : r.values[k]);
        text += CsvFileLine(CsvRowLine(r.DateText(), r.TimeText(), values, decimalSeparator));
    }
    return text;
}

bool ReadArchiveFile(const std::string& path, std::string* block, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    if (in)
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        *error = "Не удалось прочитать файл\n" + path;
        return false;
    }
    if (bytes.size() != ARCHIVE_SIZE) {
        *error = my::Format("Файл\n%s\nне является архивом прибора: в нём %zu байт, а в архиве %zu.", path.c_str(),
                            bytes.size(), ARCHIVE_SIZE);
        return false;
    }
    *block = bytes;
    return true;
}
