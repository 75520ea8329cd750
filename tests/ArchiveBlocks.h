#pragma once
// Hand-made archive blocks: records of every kind, with the names of the
// catalogue the tests write beside them (codes 1 and 9 named, one name
// outside ASCII, 200 unknown).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace archive_blocks {

// The "vars.ini" that names the codes of these records.
inline const char kVarsIni[] = "[1]\nname=CH4\n[9]\nname=Температура\n";

constexpr size_t kBlockSize = 9800;
typedef std::array<uint8_t, 49> Record;
typedef std::array<uint8_t, 4> Bcd;

inline const Bcd kNoValue = {0xFF, 0xFF, 0xFF, 0xFF};

// Written out here rather than borrowed from the link code, so that the
// fixture does not depend on what it checks.
inline uint16_t Crc16Modbus(const uint8_t* b, const uint8_t* e)
{
    uint16_t crc = 0xFFFF;
    for (; b != e; ++b) {
        crc ^= *b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// date: day, month, year, hour, minute as they lie in the record.
inline Record MakeRecord(uint8_t number, std::array<uint8_t, 5> date, std::array<uint8_t, 8> codes,
                  std::array<Bcd, 8> values, uint8_t marker = 0xA0)
{
    Record r{};
    r[0] = marker;
    r[1] = number;
    std::copy(codes.begin(), codes.end(), r.begin() + 2);
    std::copy(date.begin(), date.end(), r.begin() + 10);
    for (size_t k = 0; k < 8; ++k)
        std::copy(values[k].begin(), values[k].end(), r.begin() + 15 + 4 * k);
    const uint16_t crc = Crc16Modbus(r.data(), r.data() + 47);
    r[47] = static_cast<uint8_t>(crc & 0xFF);
    r[48] = static_cast<uint8_t>(crc >> 8);
    return r;
}

// An archive area the instrument has not written yet.
inline std::string EmptyBlock() { return std::string(kBlockSize, '\xFF'); }

inline void Put(std::string* block, size_t index, const Record& r)
{
    block->replace(index * r.size(), r.size(), reinterpret_cast<const char*>(r.data()), r.size());
}

inline const uint8_t* Begin(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
inline const uint8_t* End(const std::string& s) { return Begin(s) + s.size(); }

// Codes 1 and 9 named (one name outside ASCII), 200 unknown.
inline const Record kFull = MakeRecord(1, {0x25, 0x12, 0x07, 0x14, 0x30}, {1, 9, 0x00, 200, 0xFF, 1, 0x00, 0x00},
                                {Bcd{0x04, 0x12, 0x50, 0x00}, Bcd{0x86, 0x75, 0x00, 0x00},
                                 Bcd{0x04, 0x11, 0x11, 0x11}, Bcd{0x00, 0x1A, 0x00, 0x00},
                                 Bcd{0x04, 0x12, 0x50, 0x00}, Bcd{0x07, 0x12, 0x34, 0x56}, kNoValue, kNoValue});
inline const Record kNoSlots = MakeRecord(255, {0x01, 0x02, 0x03, 0x04, 0x05}, {0x00, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00},
                                   {Bcd{0x04, 0x12, 0x50, 0x00}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                    kNoValue, kNoValue});
inline const Record kBrokenDigits = MakeRecord(0, {0x1A, 0x12, 0x07, 0x1A, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 9},
                                        {kNoValue, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                         Bcd{0x02, 0x00, 0x12, 0x34}});
inline const Record kLast = MakeRecord(199, {0x31, 0x01, 0x99, 0x23, 0x59}, {2, 0, 0, 0, 0, 0, 0, 0},
                                {Bcd{0x00, 0x00, 0x00, 0x07}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                 kNoValue, kNoValue});

inline Record WithOneBitFlipped(Record r)
{
    r[20] ^= 0x04;
    return r;
}

// Every kind of record: valid ones between invalid ones, and the last
// record of the block valid.
inline std::string MixedBlock()
{
    std::string block = EmptyBlock();
    Put(&block, 0, kFull);
    Put(&block, 1, WithOneBitFlipped(kFull));
    Put(&block, 2, kNoSlots);
    Put(&block, 3, MakeRecord(5, {0x25, 0x12, 0x07, 0x14, 0x30}, {1, 0, 0, 0, 0, 0, 0, 0},
                              {Bcd{0x04, 0x12, 0x50, 0x00}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                               kNoValue, kNoValue},
                              0xA1));
    Put(&block, 4, Record{}); // zeros: marker and CRC both wrong
    Put(&block, 7, kBrokenDigits);
    Put(&block, 199, kLast);
    return block;
}

} // namespace archive_blocks
