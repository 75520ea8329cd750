#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class Instrument;

constexpr size_t ARCHIVE_RECORD_SIZE = 49;
constexpr size_t ARCHIVE_RECORDS = 200;
constexpr size_t ARCHIVE_SIZE = ARCHIVE_RECORD_SIZE * ARCHIVE_RECORDS; // 9800
constexpr uint8_t ARCHIVE_MARKER = 0xA0;
constexpr size_t ARCHIVE_SLOTS = 8;

// The archive as an instrument that has run for a while keeps it: records
// every few minutes from a seeded date on, holding the first eight channels
// (the other slots empty with code 00 or FF); the slots after the last
// record still erased (all FF); and a few damaged ones: cleared to 00, with
// a wrong marker, with a wrong CRC. The same seed gives the same bytes.
std::vector<uint8_t> MakeArchive(const Instrument& instrument, uint64_t seed);

// Marker A0 and the CRC-16/MODBUS of bytes 0..46 in bytes 47 (low), 48.
bool IsValidArchiveRecord(const uint8_t* record);

} // namespace sim
