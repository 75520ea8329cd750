#include "Application/StdoutRouter.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ostream>
#include <streambuf>

// Unbuffered: every insertion goes straight to the router, so nothing sits
// in a per-stream buffer that two threads would share.
class my::StdoutRouter::Buffer : public std::streambuf {
public:
    explicit Buffer(StdoutRouter& router) : router_(router) {}

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        router_.Write(&ch, 1);
        return c;
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n > 0)
            router_.Write(s, static_cast<size_t>(n));
        return n;
    }

private:
    StdoutRouter& router_;
};

// The echo's queue and the thread that writes it out. The thread holds the
// object as well: abandoned in a write that never returns, it keeps what it
// uses.
class my::StdoutRouter::Echo : public std::enable_shared_from_this<Echo> {
public:
    explicit Echo(EchoFn write) : write_(std::move(write)) {}

    void Start()
    {
        std::thread([self = shared_from_this()] { self->Run(); }).detach();
    }

    // Never waits for the writer: what does not fit is dropped.
    void Push(std::string&& text)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gone_ || pending_.size() + text.size() > kMaxEchoBytes)
            return;
        pending_ += text;
        wake_.notify_one();
    }

    bool Flush(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return pending_.empty() && !writing_; });
    }

    // Lets the writer finish what is queued and end.
    void Stop(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stop_ = true;
        wake_.notify_one();
        idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return finished_; });
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !pending_.empty() || stop_; });
            if (pending_.empty())
                break;
            std::string text;
            text.swap(pending_);
            writing_ = true;
            lock.unlock();
            const bool written = write_(text.data(), text.size());
            lock.lock();
            writing_ = false;
            if (!written) {
                // The reader has gone: nothing more is echoed.
                gone_ = true;
                pending_.clear();
            }
            idle_.notify_all();
        }
        finished_ = true;
        idle_.notify_all();
    }

    const EchoFn write_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::string pending_;
    bool writing_ = false, gone_ = false, stop_ = false, finished_ = false;
};

my::StdoutRouter::StdoutRouter(std::ostream& stream, std::function<void()> wake, EchoFn echo)
    : stream_(stream), previous_(stream.rdbuf()), wake_(std::move(wake)), buffer_(new Buffer(*this))
{
    if (!echo && previous_)
        echo = [out = previous_](const char* data, size_t size) {
            out->sputn(data, static_cast<std::streamsize>(size));
            out->pubsync();
            return true;
        };
    if (echo) {
        echo_ = std::make_shared<Echo>(std::move(echo));
        echo_->Start();
    }
    stream_.rdbuf(buffer_.get());
}

my::StdoutRouter::~StdoutRouter()
{
    stream_.rdbuf(previous_);
    if (echo_)
        echo_->Stop(kEchoDrainMs);
}

bool my::StdoutRouter::FlushEcho(int timeoutMs) { return !echo_ || echo_->Flush(timeoutMs); }

void my::StdoutRouter::Write(const char* data, size_t size)
{
    bool becameNonEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto self = std::this_thread::get_id();
        std::string& unfinished = unfinished_[self];
        const bool wasEmpty = lines_.empty();
        std::string echo;
        const char* const end = data + size;
        while (data != end) {
            const char* nl = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
            if (!nl) {
                unfinished.append(data, end);
                break;
            }
            unfinished.append(data, nl);
            data = nl + 1;
            if (echo_) {
                echo += unfinished;
                echo += '\n';
            }
            // A Windows line end ends the row like a bare line feed.
            if (!unfinished.empty() && unfinished.back() == '\r')
                unfinished.pop_back();
            lines_.push_back(std::move(unfinished));
            unfinished.clear();
            if (lines_.size() > kMaxQueuedLines)
                lines_.pop_front();
        }
        if (unfinished.empty())
            unfinished_.erase(self);
        if (!echo.empty())
            echo_->Push(std::move(echo));
        becameNonEmpty = wasEmpty && !lines_.empty();
    }
    if (becameNonEmpty && wake_)
        wake_();
}

std::vector<std::string> my::StdoutRouter::TakeLocked()
{
    std::vector<std::string> taken(std::make_move_iterator(lines_.begin()), std::make_move_iterator(lines_.end()));
    lines_.clear();
    return taken;
}

std::vector<std::string> my::StdoutRouter::TakeLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeLocked();
}

std::vector<std::string> my::StdoutRouter::TakeAllLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> taken = TakeLocked();
    std::string echo;
    for (auto& [thread, text] : unfinished_) {
        if (text.empty())
            continue;
        // Ended here as a console row, so ended on the echo too.
        echo += text;
        echo += '\n';
        taken.push_back(std::move(text));
    }
    unfinished_.clear();
    if (echo_ && !echo.empty())
        echo_->Push(std::move(echo));
    return taken;
}
