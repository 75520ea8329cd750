#pragma once

#include "ComPort/WinCommTypes.h"

#include <cstdint>

namespace my::Comm {

// How long one read or write of count bytes may take, with the meanings the
// timeouts have on Windows. All times in milliseconds.
struct TransferLimits {
    // The whole call; negative: no limit (both total timeouts 0).
    int64_t totalMs;
    // Reads only: the longest silence after a byte has come; negative: no
    // limit (ReadIntervalTimeout 0); 0: end with the bytes of the first
    // arrival.
    int64_t gapMs;
};

// A read ends when count bytes have come, when totalMs is over
// (ReadTotalTimeoutMultiplier × count + ReadTotalTimeoutConstant) or when the
// line stays silent longer than ReadIntervalTimeout after a byte. Two
// combinations keep their special Windows meaning: ReadIntervalTimeout
// MAXDWORD with both totals 0 returns at once with what is there;
// ReadIntervalTimeout and the multiplier MAXDWORD with a constant between
// them waits up to the constant for the first bytes and returns with them.
TransferLimits ReadLimits(const COMMTIMEOUTS& t, uint32_t count);

// A write ends when every byte has gone to the driver or when
// WriteTotalTimeoutMultiplier × count + WriteTotalTimeoutConstant is over.
TransferLimits WriteLimits(const COMMTIMEOUTS& t, uint32_t count);

// 0, or EINVAL for the one combination Windows refuses: the interval, the
// read multiplier and the read constant all MAXDWORD.
int CheckTimeouts(const COMMTIMEOUTS& t);

} // namespace my::Comm
