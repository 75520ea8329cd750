#include "Application/StdoutRouter.h"

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

my::StdoutRouter::StdoutRouter(std::ostream& stream, std::function<void()> wake)
    : stream_(stream), echo_(stream.rdbuf()), wake_(std::move(wake)), buffer_(new Buffer(*this))
{
    stream_.rdbuf(buffer_.get());
}

my::StdoutRouter::~StdoutRouter() { stream_.rdbuf(echo_); }

void my::StdoutRouter::Write(const char* data, size_t size)
{
    bool becameNonEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto self = std::this_thread::get_id();
        std::string& unfinished = unfinished_[self];
        const bool wasEmpty = lines_.empty();
        bool echoed = false;
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
                echo_->sputn(unfinished.data(), static_cast<std::streamsize>(unfinished.size()));
                echo_->sputc('\n');
                echoed = true;
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
        if (echoed)
            echo_->pubsync();
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
    for (auto& [thread, text] : unfinished_) {
        if (text.empty())
            continue;
        // Ended here as a console row, so ended on the echo too.
        if (echo_) {
            echo_->sputn(text.data(), static_cast<std::streamsize>(text.size()));
            echo_->sputc('\n');
        }
        taken.push_back(std::move(text));
    }
    unfinished_.clear();
    if (echo_)
        echo_->pubsync();
    return taken;
}
