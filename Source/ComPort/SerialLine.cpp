#include "ComPort/SerialLine.h"

#include "ComPort/CustomBaud.h"
#include "ComPort/PollTimeouts.h"
#include "ComPort/SerialSys.h"
#include "ComPort/TermiosFromDcb.h"

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>

namespace my::Comm {

namespace {

typedef std::chrono::steady_clock Clock;

int LastError() { return errno ? errno : EIO; }

// What a driver without the feature answers.
bool NotSupported(int err) { return err == ENOTTY || err == EINVAL; }

int SysIoctl(int fd, unsigned long request, void* arg) { return Sys().Ioctl(fd, request, arg); }

// A failed request for something the device may lack is no failure.
int OptionalIoctl(int fd, unsigned long request, void* arg)
{
    if (Sys().Ioctl(fd, request, arg) == 0)
        return 0;
    const int err = LastError();
    return NotSupported(err) ? 0 : err;
}

int SetModemLine(int fd, int line, bool raised)
{
    return OptionalIoctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line);
}

// RS-485 mode where the driver has it; driverSwitches tells whether the
// driver now drives RTS itself. A mode left on by an earlier use is ended.
int SetRs485(int fd, bool wanted, bool& driverSwitches)
{
    driverSwitches = false;
    serial_rs485 rs{};
    if (wanted) {
        rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        if (Sys().Ioctl(fd, TIOCSRS485, &rs) == 0) {
            driverSwitches = true;
            return 0;
        }
        const int err = LastError();
        return NotSupported(err) ? 0 : err;
    }
    if (Sys().Ioctl(fd, TIOCGRS485, &rs) < 0 || !(rs.flags & SER_RS485_ENABLED))
        return 0;
    rs.flags = 0;
    return OptionalIoctl(fd, TIOCSRS485, &rs);
}

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// How long to wait now: what is left of the total, cut to the gap once
// bytes have come; -1 for no limit.
int64_t WaitMs(const TransferLimits& limits, Clock::time_point start, bool bytesCame)
{
    int64_t wait = limits.totalMs < 0 ? -1 : std::max<int64_t>(0, limits.totalMs - MsSince(start));
    if (bytesCame && limits.gapMs >= 0)
        wait = wait < 0 ? limits.gapMs : std::min(wait, limits.gapMs);
    return wait;
}

enum class Wait { Ready, TimedOut, Interrupted };

int WaitFor(int fd, short events, int64_t waitMs, Wait& result)
{
    pollfd p{fd, events, 0};
    const int ms = waitMs < 0 ? -1 : static_cast<int>(std::min<int64_t>(waitMs, INT_MAX));
    const int r = Sys().Poll(&p, 1, ms);
    if (r < 0) {
        if (errno != EINTR)
            return LastError();
        result = Wait::Interrupted;
        return 0;
    }
    if (r == 0) {
        result = Wait::TimedOut;
        return 0;
    }
    if (p.revents & POLLNVAL)
        return EBADF;
    if (p.revents & POLLERR)
        return EIO;
    // A hang-up with data still readable lets the data be read first.
    if ((p.revents & POLLHUP) && !(p.revents & POLLIN & events))
        return EIO;
    result = Wait::Ready;
    return 0;
}

// A USB adapter holds received bytes up to its latency timer (16 ms on FTDI)
// before passing them on, longer than the silence that ends an answer. Low
// latency, which any user may ask for, makes the driver pass them at once
// (ftdi_sio sets its timer to 1 ms). Drivers without it refuse; no failure.
void AskForLowLatency(int fd)
{
    serial_struct info{};
    if (Sys().Ioctl(fd, TIOCGSERIAL, &info) < 0 || (info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    Sys().Ioctl(fd, TIOCSSERIAL, &info);
}

} // namespace

int OpenExclusive(const std::string& path, int& fd)
{
    fd = -1;
    const int h = Sys().Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (h < 0)
        return LastError();
    int err = 0;
    if (Sys().Flock(h, LOCK_EX | LOCK_NB) < 0)
        err = errno == EWOULDBLOCK ? EBUSY : LastError();
    else
        err = OptionalIoctl(h, TIOCEXCL, nullptr);
    if (err) {
        Sys().Close(h);
        return err;
    }
    AskForLowLatency(h);
    fd = h;
    return 0;
}

void CloseExclusive(int fd)
{
    Sys().Tcflush(fd, TCOFLUSH);
    Sys().Ioctl(fd, TIOCNXCL, nullptr);
    Sys().Close(fd);
}

int ApplyLineSettings(int fd, const DCB& dcb)
{
    LineSettings s;
    if (const int err = TermiosFromDcb(dcb, s))
        return err;
    if (Sys().Tcsetattr(fd, TCSANOW, &s.tio) < 0)
        return LastError();
    if (s.customBaud)
        if (const int err = SetCustomBaud(fd, s.customBaud, &SysIoctl))
            return err;
    if (const int err = SetModemLine(fd, TIOCM_DTR, s.dtr))
        return err;
    bool driverSwitchesRts = false;
    if (const int err = SetRs485(fd, s.rs485, driverSwitchesRts))
        return err;
    if (!driverSwitchesRts)
        return SetModemLine(fd, TIOCM_RTS, s.rts);
    return 0;
}

int FlushLine(int fd) { return Sys().Tcflush(fd, TCIOFLUSH) < 0 ? LastError() : 0; }

int ReadLineErrorCounts(int fd, LineErrorCounts& counts)
{
    counts = LineErrorCounts{};
    serial_icounter_struct ic{};
    if (Sys().Ioctl(fd, TIOCGICOUNT, &ic) < 0) {
        const int err = LastError();
        return NotSupported(err) ? 0 : err;
    }
    counts.frame = static_cast<uint32_t>(ic.frame);
    counts.overrun = static_cast<uint32_t>(ic.overrun);
    counts.parity = static_cast<uint32_t>(ic.parity);
    counts.brk = static_cast<uint32_t>(ic.brk);
    counts.bufOverrun = static_cast<uint32_t>(ic.buf_overrun);
    return 0;
}

uint32_t LineErrorMask(const LineErrorCounts& before, const LineErrorCounts& now)
{
    uint32_t mask = 0;
    if (now.frame != before.frame)
        mask |= CE_FRAME;
    if (now.overrun != before.overrun)
        mask |= CE_OVERRUN;
    if (now.parity != before.parity)
        mask |= CE_RXPARITY;
    if (now.brk != before.brk)
        mask |= CE_BREAK;
    if (now.bufOverrun != before.bufOverrun)
        mask |= CE_RXOVER;
    return mask;
}

int PollLineState(int fd, LineErrorCounts& last, uint32_t& errorMask, uint32_t& bytesWaiting)
{
    errorMask = 0;
    bytesWaiting = 0;
    int waiting = 0;
    if (Sys().Ioctl(fd, FIONREAD, &waiting) < 0)
        return LastError();
    LineErrorCounts now;
    if (const int err = ReadLineErrorCounts(fd, now))
        return err;
    errorMask = LineErrorMask(last, now);
    last = now;
    bytesWaiting = static_cast<uint32_t>(std::max(waiting, 0));
    return 0;
}

bool SleepUntilInput(int fd, uint32_t ms)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int r = Sys().Poll(&p, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
        if (r == 0)
            return false;
        if (r > 0 && (p.revents & POLLIN) && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return true;
        if (r < 0 && errno == EINTR)
            continue;
        std::this_thread::sleep_until(deadline);
        return false;
    }
}

int ReadWithTimeouts(int fd, const COMMTIMEOUTS& timeouts, void* buf, uint32_t count, uint32_t& done)
{
    done = 0;
    if (fd < 0) // poll() would skip it and wait the full time
        return EBADF;
    const TransferLimits limits = ReadLimits(timeouts, count);
    const Clock::time_point start = Clock::now();
    auto* bytes = static_cast<uint8_t*>(buf);
    while (done < count) {
        Wait w = Wait::TimedOut;
        if (const int err = WaitFor(fd, POLLIN, WaitMs(limits, start, done > 0), w))
            return err;
        if (w == Wait::TimedOut)
            break;
        if (w == Wait::Interrupted)
            continue;
        const ssize_t n = Sys().Read(fd, bytes + done, count - done);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return LastError();
        }
        if (n == 0)
            return EIO;
        done += static_cast<uint32_t>(n);
    }
    return 0;
}

int WriteWithTimeouts(int fd, const COMMTIMEOUTS& timeouts, const void* buf, uint32_t count, uint32_t& done)
{
    done = 0;
    if (fd < 0)
        return EBADF;
    const TransferLimits limits = WriteLimits(timeouts, count);
    const Clock::time_point start = Clock::now();
    const auto* bytes = static_cast<const uint8_t*>(buf);
    while (done < count) {
        const ssize_t n = Sys().Write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return LastError();
        // The driver's queue is full: wait for room as long as the limits allow.
        Wait w = Wait::TimedOut;
        if (const int err = WaitFor(fd, POLLOUT, WaitMs(limits, start, false), w))
            return err;
        if (w == Wait::TimedOut)
            break;
    }
    return 0;
}

} // namespace my::Comm
