#pragma once

#include <QDateTime>

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A channel as the recording names it in its header.
struct RecordedChanal {
    uint32_t number;
    std::string quantity;
    std::string unit;
};

// One recording: a CSV file that spreadsheets with Russian settings open
// without an import dialog (";" between fields, the given decimal separator,
// Windows-1251, CRLF). The header names each channel by number, quantity and
// unit; then one row per polling round: date, time, one field per channel in
// list order, empty for an invalid reading. A round is complete when every
// channel of the list has reported, or when a channel reports a second time
// (a channel that failed to answer leaves its field empty). Each row is
// flushed as it is written, so an abrupt end loses only the round in
// progress.
class RecordFile {
public:
    RecordFile(const std::string& path, const std::vector<RecordedChanal>& chanals, std::string decimalSeparator);
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // False when the file could not be created or the header not written.
    bool IsOpen() const;
    const std::string& Path() const { return path_; }

    // A reading of channel number at the time when; other channels than
    // those of the list are ignored.
    void Add(uint32_t number, double value, const QDateTime& when);

private:
    void WriteRow();
    void WriteLine(const std::string& utf8);

    std::string path_;
    std::vector<uint32_t> numbers_;
    std::string decimalSeparator_;
    std::ofstream out_;
    std::map<uint32_t, double> round_;
    QDateTime roundTime_;
};
