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
// threads never mix; every complete line is echoed at once to the stream's
// previous buffer (the process's original standard output) and queued for
// the main thread, which takes the queue in batches. Nothing here waits for
// the main thread.
class StdoutRouter : boost::noncopyable {
public:
    // What a console shows at most; older queued lines would scroll out of
    // it unseen, so the queue drops them as well.
    static constexpr size_t kMaxQueuedLines = 9999;

    // wake is called, on the writing thread and outside the lock, whenever
    // the queue turns from empty to non-empty.
    StdoutRouter(std::ostream& stream, std::function<void()> wake);
    // Gives the stream its previous buffer back.
    ~StdoutRouter();

    // The same path as the stream, for texts that do not come through it.
    void Write(const char* data, size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }

    // The queued complete lines, oldest first, without their line ends.
    std::vector<std::string> TakeLines();
    // The same, followed by each thread's unfinished line (at shutdown).
    std::vector<std::string> TakeAllLines();

private:
    class Buffer;

    std::vector<std::string> TakeLocked();

    std::ostream& stream_;
    std::streambuf* const echo_;
    const std::function<void()> wake_;
    std::unique_ptr<Buffer> buffer_;

    std::mutex mutex_;
    std::map<std::thread::id, std::string> unfinished_;
    std::deque<std::string> lines_;
};

} // namespace my
