#include "RecordFile.h"

#include "ValueText.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const char kSeparator = ';';

// A name never splits its field.
std::string FieldText(std::string text)
{
    std::replace(text.begin(), text.end(), kSeparator, ',');
    return text;
}

std::string HeaderLine(const std::vector<RecordedChanal>& chanals)
{
    std::string line = "Дата;Время";
    for (const RecordedChanal& ch : chanals)
        line += kSeparator + FieldText("Канал " + std::to_string(ch.number) + ": " + ch.quantity + ", " + ch.unit);
    return line;
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
    std::string line = roundTime_.toString(QStringLiteral("dd.MM.yyyy;hh:mm:ss")).toStdString();
    for (uint32_t number : numbers_) {
        line += kSeparator;
        const auto v = round_.find(number);
        if (v != round_.end() && std::fabs(v->second) < BCD_INVALID)
            line += FormatValueWith(v->second, decimalSeparator_);
    }
    round_.clear();
    WriteLine(line);
}

void RecordFile::WriteLine(const std::string& utf8)
{
    out_ << my::Utf8ToCp1251(utf8) << "\r\n";
    out_.flush();
}
