#include "BusStats/BusStats.h"

#include "VCLUtils/MyStrUtils.h"

#include <algorithm>
#include <cmath>

namespace BusStats {

void LatencyHistogram::Add(uint32_t ms)
{
    ++slots_[std::min(ms, kSlots - 1)];
    min_ = count_ == 0 ? ms : std::min(min_, ms);
    max_ = std::max(max_, ms);
    ++count_;
}

uint32_t LatencyHistogram::Quantile(double q) const
{
    if (count_ == 0)
        return 0;
    const auto wanted = static_cast<uint64_t>(std::max(1.0, std::ceil(q * static_cast<double>(count_))));
    uint64_t seen = 0;
    for (uint32_t ms = 0; ms < kSlots; ++ms) {
        seen += slots_[ms];
        if (seen >= wanted)
            return std::clamp(ms, min_, max_);
    }
    return max_;
}

Counter& Counter::Instance()
{
    static Counter counter;
    return counter;
}

void Counter::Record(uint8_t address, Outcome outcome, int32_t latencyMs)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    AddressCounts& c = byAddress_[address];
    ++c.requests;
    switch (outcome) {
    case Outcome::Answer: ++c.answers; break;
    case Outcome::ExceptionAnswer:
        ++c.answers;
        ++c.exceptions;
        break;
    case Outcome::NoAnswer: ++c.noAnswer; break;
    case Outcome::BadCrc: ++c.badCrc; break;
    case Outcome::FaultyAnswer: ++c.faulty; break;
    }
    if (latencyMs >= 0)
        c.latency.Add(static_cast<uint32_t>(latencyMs));
}

void Counter::Reset()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    byAddress_.clear();
    since_ = Clock::now();
}

std::vector<Row> Counter::Rows() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const double seconds = std::chrono::duration<double>(Clock::now() - since_).count();
    std::vector<Row> rows;
    rows.reserve(byAddress_.size());
    for (const auto& [address, counts] : byAddress_) {
        const double sound = static_cast<double>(counts.answers - counts.exceptions);
        rows.push_back({address, counts, seconds > 0 ? sound / seconds : 0});
    }
    return rows;
}

std::vector<std::string> ColumnTitles()
{
    return {"Адрес",      "Запросов",         "Ответов",     "Нет ответа", "Ошибок CRC", "Других ошибок",
            "Исключений", "Задержка мин, мс", "Медиана, мс", "95 %, мс",   "Макс, мс",   "Чтений в с"};
}

std::vector<std::string> RowCells(const Row& row)
{
    const AddressCounts& c = row.counts;
    const auto n = [](uint64_t v) { return std::to_string(v); };
    const auto ms = [&c](uint32_t v) { return c.latency.Count() ? std::to_string(v) : std::string("-"); };
    return {n(row.address),
            n(c.requests),
            n(c.answers),
            n(c.noAnswer),
            n(c.badCrc),
            n(c.faulty),
            n(c.exceptions),
            ms(c.latency.Min()),
            ms(c.latency.Quantile(0.5)),
            ms(c.latency.Quantile(0.95)),
            ms(c.latency.Max()),
            my::Format("%.1f", row.readingsPerSecond)};
}

std::string Counter::Text() const
{
    std::string text;
    const auto line = [&text](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i)
            text += (i ? "\t" : "") + cells[i];
        text += "\n";
    };
    line(ColumnTitles());
    for (const Row& row : Rows())
        line(RowCells(row));
    return text;
}

} // namespace BusStats
