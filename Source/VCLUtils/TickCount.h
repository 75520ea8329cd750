#pragma once

#include <chrono>
#include <cstdint>

namespace my {

// Milliseconds of the monotonic clock as a wrapping 32-bit count; only
// unsigned differences of two readings mean anything.
inline uint32_t GetTickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace my
