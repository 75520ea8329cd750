#include "ComPort/PollTimeouts.h"

#include <cerrno>

namespace my::Comm {

namespace {

const uint32_t kMaxDword = 0xFFFFFFFFu;

int64_t TotalMs(uint32_t multiplier, uint32_t constant, uint32_t count)
{
    if (multiplier == 0 && constant == 0)
        return -1;
    return static_cast<int64_t>(multiplier) * count + constant;
}

} // namespace

TransferLimits ReadLimits(const COMMTIMEOUTS& t, uint32_t count)
{
    const uint32_t interval = t.ReadIntervalTimeout;
    const uint32_t multiplier = t.ReadTotalTimeoutMultiplier;
    const uint32_t constant = t.ReadTotalTimeoutConstant;
    if (interval == kMaxDword && multiplier == 0 && constant == 0)
        return {0, -1};
    if (interval == kMaxDword && multiplier == kMaxDword && constant != 0 && constant != kMaxDword)
        return {constant, 0};
    return {TotalMs(multiplier, constant, count), interval == 0 ? -1 : static_cast<int64_t>(interval)};
}

TransferLimits WriteLimits(const COMMTIMEOUTS& t, uint32_t count)
{
    return {TotalMs(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count), -1};
}

int CheckTimeouts(const COMMTIMEOUTS& t)
{
    const bool allMax = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword
                        && t.ReadTotalTimeoutConstant == kMaxDword;
    return allMax ? EINVAL : 0;
}

} // namespace my::Comm
