#include "DownloadProgress/AnswerProgress.h"

#include <algorithm>

namespace {

// The word: exchange number (24 bits), function code (8), bytes expected
// (16), bytes received (16). No answer of the instrument is longer than
// 9805 bytes, the archive and one byte too many.
constexpr uint64_t kCountMask = 0xFFFF;
constexpr uint64_t kExchangeMask = 0xFFFFFF;

uint64_t Count(size_t n) { return std::min<uint64_t>(n, kCountMask); }

uint64_t Pack(const AnswerProgress::State& s)
{
    return (uint64_t(s.exchange) & kExchangeMask) << 40 | uint64_t(s.commandCode) << 32 | Count(s.expected) << 16 |
           Count(s.received);
}

AnswerProgress::State Unpack(uint64_t w)
{
    AnswerProgress::State s;
    s.exchange = static_cast<uint32_t>(w >> 40 & kExchangeMask);
    s.commandCode = static_cast<uint8_t>(w >> 32);
    s.expected = static_cast<uint32_t>(w >> 16 & kCountMask);
    s.received = static_cast<uint32_t>(w & kCountMask);
    return s;
}

} // namespace

// Only the worker writes, so reading the word back needs no exchange loop.
void AnswerProgress::Begin(uint8_t commandCode, size_t expected)
{
    State s = Unpack(word_.load(std::memory_order_relaxed));
    ++s.exchange;
    s.commandCode = commandCode;
    s.expected = static_cast<uint32_t>(Count(expected));
    s.received = 0;
    word_.store(Pack(s), std::memory_order_release);
}

void AnswerProgress::Received(size_t bytes)
{
    const uint64_t w = word_.load(std::memory_order_relaxed);
    word_.store((w & ~kCountMask) | Count(bytes), std::memory_order_release);
}

AnswerProgress::State AnswerProgress::Now() const { return Unpack(word_.load(std::memory_order_acquire)); }
