#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// How far the answer on its way has come. The link writes it on the worker
// as bytes arrive; a window reads it on the main thread whenever it likes.
// One word holds the whole state, so a reader never sees the byte count of
// one exchange with the number of another, and the writer never waits.
class AnswerProgress {
public:
    struct State {
        uint32_t exchange = 0; // counts the answers awaited; wraps
        uint8_t commandCode = 0;
        uint32_t expected = 0; // bytes of the whole answer; 0 when only the silence tells
        uint32_t received = 0;
    };

    // Worker, or before the worker runs: one byte takes byteTimeUs
    // microseconds on the line.
    void SetByteTimeUs(uint32_t byteTimeUs) { byteTimeUs_.store(byteTimeUs, std::memory_order_release); }
    // Worker: a new answer to commandCode is awaited, expected bytes long.
    void Begin(uint8_t commandCode, size_t expected);
    // Worker: the answer has this many bytes now.
    void Received(size_t bytes);

    State Now() const;
    // Microseconds a byte takes on the line, 0 while unknown.
    uint32_t ByteTimeUs() const { return byteTimeUs_.load(std::memory_order_acquire); }

private:
    std::atomic<uint64_t> word_{0};
    std::atomic<uint32_t> byteTimeUs_{0};
};
