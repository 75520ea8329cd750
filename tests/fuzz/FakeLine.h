#pragma once

#include "ComPort/SerialSys.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// A serial line the fuzz input scripts, put in place of the port's system
// calls: the answer in pieces, silences between them, line errors, a
// hang-up, and a line that keeps talking after the script. No time passes
// on a real line, so an exchange takes microseconds.
namespace fuzz {

// A line that never falls silent talks at 100 bytes a millisecond (a fast
// line, so that a link that ends such an answer by time or by length ends
// it soon). Four times the longest answer of the instrument (the archive,
// 9804 bytes): a link still reading then reads for ever.
constexpr int64_t kEndlessBytesPerMs = 100;
constexpr size_t kEndlessLimit = 4 * 9804;
// Never opened: the fake answers every call on it.
constexpr int kFakeFd = 1000;

typedef std::chrono::steady_clock Clock;

struct Event {
    enum Kind { Bytes, Silence, LineError, HangUp } kind;
    std::string bytes;
};

class ScriptedLine : public my::Comm::SerialSys {
public:
    std::deque<Event> events;
    bool endless = false; // after the events, bytes without end
    std::string written;  // what the link sent

    int Open(const char*, int) override { return kFakeFd; }
    int Close(int) override { return 0; }
    int Flock(int, int) override { return 0; }
    int Tcsetattr(int, int, const termios*) override { return 0; }
    int Tcflush(int, int) override { return 0; }
    int Ioctl(int fd, unsigned long request, void* arg) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    ssize_t Read(int fd, void* buf, size_t count) override;
    ssize_t Write(int fd, const void* buf, size_t count) override;

    // A new script; line errors counted so far stay counted, as a driver's do.
    void Reset();

private:
    void Settle();
    size_t Waiting();
    size_t EndlessDue();

    size_t endlessServed_ = 0;
    Clock::time_point endlessStart_;
    int frameErrors_ = 0;
};

// COM1 stands for a pseudo-terminal that is never opened: line answers in
// its place from now on. The link's pauses are as short as "comm.ini"
// allows (written beside the program before any link reads it).
void UseScriptedLine(ScriptedLine& line);

} // namespace fuzz
