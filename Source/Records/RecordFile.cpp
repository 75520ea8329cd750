#include "RecordFile.h"

#include "Records/CsvFormat.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <utility>

namespace {

std::string HeaderLine(const std::vector<RecordedChanal>& chanals)
{
    std::vector<std::string> titles;
    for (const RecordedChanal& ch : chanals)
        titles.push_back(CsvColumnTitle("Канал", ch.number, ch.quantity, ch.unit));
    return CsvHeaderLine(titles);
}

} // namespace

RecordFile::RecordFile(const std::string& path, const std::vector<RecordedChanal>& chanals,
                       std::string decimalSeparator)
    : path_(path), decimalSeparator_(std::move(decimalSeparator)), out_(path, std::ios::binary | std::ios::trunc)
{
    for (const RecordedChanal& ch : chanals)
        numbers_.push_back(ch.number);
    WriteLine(HeaderLine(chanals));
}

bool RecordFile::IsOpen() const { return out_.is_open() && out_.good(); }

void RecordFile::Add(uint32_t number, double value, const QDateTime& when)
{
    if (std::find(numbers_.begin(), numbers_.end(), number) == numbers_.end())
        return;
    // The channel's next round has begun: this one is as complete as it gets.
    if (round_.count(number))
        WriteRow();
    if (round_.empty())
        roundTime_ = when;
    round_[number] = value;
    if (round_.size() == numbers_.size())
        WriteRow();
}

void RecordFile::WriteRow()
{
    std::vector<double> values;
    for (uint32_t number : numbers_) {
        const auto v = round_.find(number);
        values.push_back(v == round_.end() ? BCD_INVALID : v->second);
    }
    round_.clear();
    WriteLine(CsvRowLine(roundTime_.toString(QStringLiteral("dd.MM.yyyy")).toStdString(),
                         roundTime_.toString(QStringLiteral("hh:mm:ss")).toStdString(), values, decimalSeparator_));
}

void RecordFile::WriteLine(const std::string& utf8)
{
    out_ << CsvFileLine(utf8);
    out_.flush();
}
