#pragma once

#include <boost/noncopyable.hpp>

#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace my {

// Takes over an output stream (std::cout) so that what any thread writes to
// it reaches the debug console. Writers only append under a short lock: each
// thread's text is gathered into complete lines of its own, so lines of two
// threads never mix; every complete line is queued for the main thread,
// which takes the queue in batches, and for the echo (the process's original
// standard output). A thread of the router's own writes the echo: a terminal
// paused with Ctrl+S or a pipe nobody reads holds up only that thread, and
// the lines it cannot take are dropped from the echo, never from the queue.
// Nothing here waits for the main thread or for the echo.
class StdoutRouter : boost::noncopyable {
public:
    // What a console shows at most; older queued lines would scroll out of
    // it unseen, so the queue drops them as well.
    static constexpr size_t kMaxQueuedLines = 9999;
    // What the echo holds back at most while its reader is not reading.
    static constexpr size_t kMaxEchoBytes = 1 << 20;
    // How long the destructor lets the echo finish.
    static constexpr int kEchoDrainMs = 1000;

    // Writes all of a text; false when the reader is gone for good.
    typedef std::function<bool(const char* data, size_t size)> EchoFn;

    // wake is called, on the writing thread and outside the lock, whenever
    // the queue turns from empty to non-empty. The echo goes to the stream's
    // previous buffer, or to echo when one is given.
    StdoutRouter(std::ostream& stream, std::function<void()> wake, EchoFn echo = nullptr);
    // Gives the stream its previous buffer back; an echo still held up after
    // kEchoDrainMs is abandoned.
    ~StdoutRouter();

    // Waits until the echo has written everything queued for it, at most
    // timeoutMs; false when it has not.
    bool FlushEcho(int timeoutMs);

    // The same path as the stream, for texts that do not come through it.
    void Write(const char* data, size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }

    // The queued complete lines, oldest first, without their line ends.
    std::vector<std::string> TakeLines();
    // The same, followed by each thread's unfinished line (at shutdown).
    std::vector<std::string> TakeAllLines();

private:
    class Buffer;

    class Echo;

    std::vector<std::string> TakeLocked();

    std::ostream& stream_;
    std::streambuf* const previous_;
    const std::function<void()> wake_;
    std::unique_ptr<Buffer> buffer_;
    std::shared_ptr<Echo> echo_;

    std::mutex mutex_;
    std::map<std::thread::id, std::string> unfinished_;
    std::deque<std::string> lines_;
};

} // namespace my
