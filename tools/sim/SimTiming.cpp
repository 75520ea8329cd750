#include "sim/SimTiming.h"

#include <algorithm>

namespace sim {

Nanos CharTime(int baud) { return Nanos(static_cast<int64_t>(10e9 / baud)); }

Nanos FrameSilence(int baud)
{
    if (baud > 19200)
        return std::chrono::microseconds(1750);
    return CharTime(baud) * 7 / 2;
}

void FrameAssembler::Add(const uint8_t* b, size_t n, TimePoint now)
{
    const size_t room = MAX_FRAME - std::min(MAX_FRAME, bytes_.size());
    bytes_.insert(bytes_.end(), b, b + std::min(n, room));
    last_ = now;
}

std::optional<std::vector<uint8_t>> FrameAssembler::TakeIfComplete(TimePoint now)
{
    if (bytes_.empty() || now < Deadline())
        return std::nullopt;
    std::vector<uint8_t> frame;
    frame.swap(bytes_);
    return frame;
}

void Transmitter::Start(const std::vector<AnswerPiece>& pieces, TimePoint start)
{
    Clear();
    TimePoint t = start;
    for (const auto& piece : pieces) {
        t += std::chrono::duration_cast<Nanos>(std::chrono::duration<double, std::milli>(piece.gapBeforeMs));
        for (uint8_t b : piece.bytes) {
            t += charTime_;
            bytes_.push_back(b);
            due_.push_back(t);
        }
    }
}

size_t Transmitter::DueCount(TimePoint now) const
{
    const auto end = std::upper_bound(due_.begin() + static_cast<ptrdiff_t>(next_), due_.end(), now);
    return static_cast<size_t>(end - due_.begin()) - next_;
}

void Transmitter::Clear()
{
    bytes_.clear();
    due_.clear();
    next_ = 0;
}

} // namespace sim
