#include "sim/SimArchive.h"

#include "sim/SimInstrument.h"
#include "sim/SimRandom.h"

#include "ComPort/RS232Modbus.h"

#include <algorithm>

namespace sim {

namespace {

constexpr size_t OFFSET_CODES = 2;
constexpr size_t OFFSET_DATE = 10;
constexpr size_t OFFSET_VALUES = 15;
constexpr size_t OFFSET_CRC = 47;

struct Stamp {
    int year, month, day, hour, minute;
};

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

void AddMinutes(Stamp& s, int minutes)
{
    s.minute += minutes;
    s.hour += s.minute / 60;
    s.minute %= 60;
    s.day += s.hour / 24;
    s.hour %= 24;
    while (s.day > DaysInMonth(s.year, s.month)) {
        s.day -= DaysInMonth(s.year, s.month);
        if (++s.month > 12) {
            s.month = 1;
            ++s.year;
        }
    }
}

uint8_t Bcd2(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

void SealRecord(uint8_t* rec)
{
    const uint16_t crc = ModbusCRC16(rec, rec + OFFSET_CRC);
    rec[OFFSET_CRC] = static_cast<uint8_t>(crc);
    rec[OFFSET_CRC + 1] = static_cast<uint8_t>(crc >> 8);
}

// Distinct record indices below limit, for the damaged records.
std::vector<size_t> PickDistinct(Random& r, size_t count, size_t limit)
{
    std::vector<size_t> picked;
    while (picked.size() < count) {
        const size_t i = r.Below(static_cast<uint32_t>(limit));
        if (std::find(picked.begin(), picked.end(), i) == picked.end())
            picked.push_back(i);
    }
    return picked;
}

} // namespace

std::vector<uint8_t> MakeArchive(const Instrument& instrument, uint64_t seed)
{
    Random r(seed);
    std::vector<uint8_t> block(ARCHIVE_SIZE, 0xFF);

    static const int intervals[] = {10, 15, 30, 60};
    const int interval = intervals[r.Below(4)];
    Stamp stamp = {r.Between(2022, 2024), r.Between(1, 12), r.Between(1, 28), r.Between(0, 23), 0};
    const size_t written = static_cast<size_t>(r.Between(150, ARCHIVE_RECORDS));

    // Slot layout: the first eight channels; an empty slot is marked 00 or FF.
    const auto& channels = instrument.Channels();
    uint8_t codes[ARCHIVE_SLOTS];
    for (size_t k = 0; k < ARCHIVE_SLOTS; ++k)
        codes[k] = k < channels.size() ? channels[k].kind.quantityCode : (r.Chance(0.5) ? 0x00 : 0xFF);

    for (size_t i = 0; i < written; ++i, AddMinutes(stamp, interval)) {
        uint8_t* rec = &block[i * ARCHIVE_RECORD_SIZE];
        rec[0] = ARCHIVE_MARKER;
        rec[1] = static_cast<uint8_t>(i + 1);
        std::copy(codes, codes + ARCHIVE_SLOTS, rec + OFFSET_CODES);
        const uint8_t date[] = {Bcd2(stamp.day), Bcd2(stamp.month), Bcd2(stamp.year % 100),
                                Bcd2(stamp.hour), Bcd2(stamp.minute)};
        std::copy(date, date + 5, rec + OFFSET_DATE);
        // The readings the channels had then, before the simulator started.
        const double t = -static_cast<double>(written - i) * interval * 60;
        for (size_t k = 0; k < ARCHIVE_SLOTS; ++k) {
            uint8_t* value = rec + OFFSET_VALUES + 4 * k;
            if (k < channels.size())
                instrument.ReportedBcd(channels[k].number, t, value);
            else
                std::fill(value, value + 4, codes[k]);
        }
        SealRecord(rec);
    }

    // Damage: at least one of each sort, never the same record twice.
    const size_t cleared = r.Between(1, 3), badMarker = r.Between(1, 3), badCrc = r.Between(1, 3);
    const auto damaged = PickDistinct(r, cleared + badMarker + badCrc, written);
    for (size_t j = 0; j < damaged.size(); ++j) {
        uint8_t* rec = &block[damaged[j] * ARCHIVE_RECORD_SIZE];
        if (j < cleared) {
            std::fill(rec, rec + ARCHIVE_RECORD_SIZE, 0x00);
        } else if (j < cleared + badMarker) {
            rec[0] = r.Chance(0.5) ? 0x00 : 0xA1;
            SealRecord(rec); // the CRC fits: only the marker is wrong
        } else {
            const size_t byte = 1 + r.Below(ARCHIVE_RECORD_SIZE - 1);
            rec[byte] ^= static_cast<uint8_t>(1u << r.Below(8));
        }
    }
    return block;
}

bool IsValidArchiveRecord(const uint8_t* record)
{
    return record[0] == ARCHIVE_MARKER && ModbusCRC16(record, record + ARCHIVE_RECORD_SIZE) == 0;
}

} // namespace sim
