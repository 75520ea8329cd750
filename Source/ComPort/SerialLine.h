#pragma once

#include "ComPort/WinCommTypes.h"

#include <cstdint>
#include <string>

// The serial port's operations on a Linux terminal device. Each returns 0 or
// the errno of the failure (never 0 for a failure); the port turns a failure
// into its exception. Every system call goes through Sys() (SerialSys.h).
//
// A device that has gone (a USB adapter pulled out, the other side of a
// pseudo-terminal closed) is a failure, EIO unless the system gave another
// code: EIO from an ioctl or a write, POLLHUP or POLLERR from poll(), a read
// of 0 bytes after poll() said data was there.

namespace my::Comm {

// The driver's line error counters as far as they become error flags. They
// only grow; the flags of a poll are the counters that grew since the last.
struct LineErrorCounts {
    uint32_t frame;
    uint32_t overrun;
    uint32_t parity;
    uint32_t brk;
    uint32_t bufOverrun;
};

// Opens the device for reading and writing, non-blocking, close-on-exec,
// never as controlling terminal, and for this process alone: flock() keeps
// out every other copy of the program (root included), TIOCEXCL every other
// program without CAP_SYS_ADMIN. A device held by another gives EBUSY. On
// failure nothing stays open. Low latency is asked for where the driver has
// it (TIOCSSERIAL with ASYNC_LOW_LATENCY).
int OpenExclusive(const std::string& path, int& fd);

// Ends the exclusive use and closes. Output still waiting is discarded, so
// that a line held by flow control cannot keep close() waiting.
void CloseExclusive(int fd);

// Raw mode with the block's rate, framing, flow control and modem lines
// (TermiosFromDcb.h). Modem lines and RS-485 mode the device lacks are no
// failure; EINVAL for a value termios cannot take.
int ApplyLineSettings(int fd, const DCB& dcb);

// Discards pending input and output.
int FlushLine(int fd);

// The counters now; all 0 when the driver keeps none (ENOTTY or EINVAL from
// TIOCGICOUNT: pseudo-terminals, many USB adapters).
int ReadLineErrorCounts(int fd, LineErrorCounts& counts);

// The CE_* flags of the counters that grew from before to now.
uint32_t LineErrorMask(const LineErrorCounts& before, const LineErrorCounts& now);

// Bytes waiting in the input queue, and the line error flags since last
// (which becomes the counters now).
int PollLineState(int fd, LineErrorCounts& last, uint32_t& errorMask, uint32_t& bytesWaiting);

// Sleeps up to ms, ending early once input is waiting; true when it did.
// Never fails: a hang-up or an error that wakes it is left for the next
// look at the line state to report, and the rest of the time is slept out,
// so that a dead line cannot turn a caller's wait loop into a busy loop.
bool SleepUntilInput(int fd, uint32_t ms);

// One transfer of up to count bytes, ended as the timeouts say
// (PollTimeouts.h); done is the count moved, also when the limits end the
// call early.
int ReadWithTimeouts(int fd, const COMMTIMEOUTS& timeouts, void* buf, uint32_t count, uint32_t& done);
int WriteWithTimeouts(int fd, const COMMTIMEOUTS& timeouts, const void* buf, uint32_t count, uint32_t& done);

} // namespace my::Comm
