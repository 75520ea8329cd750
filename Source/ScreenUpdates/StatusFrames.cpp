#include "ScreenUpdates/StatusFrames.h"

#include "Excpt/MyAssert.h"

StatusFrames::Frame& StatusFrames::Gather()
{
    if (frames_.empty() || closed_) {
        frames_.emplace_back();
        closed_ = false;
    }
    return frames_.back();
}

void StatusFrames::Close()
{
    if (!frames_.empty())
        closed_ = true;
}

StatusFrames::Frame StatusFrames::TakeOldest()
{
    MY_ASSERT(!frames_.empty());
    Frame oldest = std::move(frames_.front());
    frames_.pop_front();
    if (frames_.empty())
        closed_ = false;
    return oldest;
}

void StatusFrames::DropValues()
{
    for (Frame& frame : frames_)
        frame.values.clear();
}
