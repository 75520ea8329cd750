#include "Application/StdoutRouter.h"
#include "Application/UnixSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

// Only keeps a failing test from hanging.
const int kDeadlineMs = 30000;

// A stream taken over by a router; what the router echoes lands in echo.
struct RoutedStream {
    std::ostringstream echo;
    std::ostream stream{echo.rdbuf()};
    std::atomic<int> wakes{0};
    my::StdoutRouter router{stream, [this] { ++wakes; }};
};

TEST(ConsoleRouter, CompleteLinesAreQueuedAndEchoedInOrder)
{
    RoutedStream s;
    s.stream << "first\nsec" << "ond\r\n" << 3 << '\n';
    s.router.Write("via ConsolePrint\n");
    EXPECT_EQ(s.router.TakeLines(), (Lines{"first", "second", "3", "via ConsolePrint"}));
    ASSERT_TRUE(s.router.FlushEcho(kDeadlineMs));
    EXPECT_EQ(s.echo.str(), "first\nsecond\r\n3\nvia ConsolePrint\n");
    EXPECT_TRUE(s.router.TakeLines().empty());
}

TEST(ConsoleRouter, UnfinishedLineWaitsUntilItEndsOrShutdown)
{
    RoutedStream s;
    s.stream << "no end yet";
    EXPECT_TRUE(s.router.TakeLines().empty());
    ASSERT_TRUE(s.router.FlushEcho(kDeadlineMs));
    EXPECT_EQ(s.echo.str(), "");
    s.stream << ", still";
    EXPECT_EQ(s.router.TakeAllLines(), (Lines{"no end yet, still"}));
    ASSERT_TRUE(s.router.FlushEcho(kDeadlineMs));
    EXPECT_EQ(s.echo.str(), "no end yet, still\n");
}

TEST(ConsoleRouter, WakesOnlyWhenTheQueueStopsBeingEmpty)
{
    RoutedStream s;
    s.stream << "a";
    EXPECT_EQ(s.wakes, 0);
    s.stream << "\nb\n";
    s.stream << "c\n";
    EXPECT_EQ(s.wakes, 1);
    s.router.TakeLines();
    s.stream << "d\n";
    EXPECT_EQ(s.wakes, 2);
}

TEST(ConsoleRouter, LinesOfTwoThreadsNeverMix)
{
    RoutedStream s;
    const int kLines = 2000;
    auto writer = [&s](const char* who) {
        for (int i = 0; i < kLines; ++i)
            s.stream << who << ' ' << i << " end" << '\n';
    };
    std::thread a(writer, "worker-a");
    std::thread b(writer, "worker-b");
    a.join();
    b.join();

    const Lines lines = s.router.TakeLines();
    ASSERT_EQ(lines.size(), size_t(2 * kLines));
    int nextA = 0, nextB = 0;
    for (const auto& line : lines) {
        const bool fromA = line.rfind("worker-a ", 0) == 0;
        int& next = fromA ? nextA : nextB;
        ASSERT_EQ(line, std::string(fromA ? "worker-a " : "worker-b ") + std::to_string(next) + " end");
        ++next;
    }
}

TEST(ConsoleRouter, QueueKeepsOnlyWhatTheConsoleCanShow)
{
    RoutedStream s;
    const size_t total = my::StdoutRouter::kMaxQueuedLines + 25;
    for (size_t i = 0; i < total; ++i)
        s.stream << "line " << i << '\n';
    const Lines lines = s.router.TakeLines();
    ASSERT_EQ(lines.size(), my::StdoutRouter::kMaxQueuedLines);
    EXPECT_EQ(lines.front(), "line 25");
    EXPECT_EQ(lines.back(), "line " + std::to_string(total - 1));
}

// An echo that takes nothing until it is let go: a terminal paused with
// Ctrl+S, a pipe nobody reads.
struct StuckEcho {
    std::mutex mutex;
    std::condition_variable released;
    bool letGo = false;
    std::atomic<size_t> calls{0}, bytes{0};

    my::StdoutRouter::EchoFn Fn(bool readerGone = false)
    {
        return [this, readerGone](const char*, size_t size) {
            ++calls;
            std::unique_lock<std::mutex> lock(mutex);
            released.wait(lock, [this] { return letGo; });
            bytes += size;
            return !readerGone;
        };
    }
    void LetGo()
    {
        std::lock_guard<std::mutex> lock(mutex);
        letGo = true;
        released.notify_all();
    }
};

TEST(ConsoleRouter, AnEchoThatTakesNothingHoldsUpNoWriterAndDropsOnlyFromTheEcho)
{
    StuckEcho echo;
    std::ostringstream unused;
    std::ostream stream(unused.rdbuf());
    my::StdoutRouter router(stream, nullptr, echo.Fn());
    // Far more than the echo holds back.
    const std::string line(1000, 'x');
    const size_t total = 3 * my::StdoutRouter::kMaxEchoBytes / line.size();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (size_t i = 0; i < total; ++i)
            stream << line << '\n';
        done = true;
    });
    // If a writer waited for the echo, this would never end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(done) << "a writer waits for the echo";
    EXPECT_EQ(router.TakeLines().size(), std::min(total, my::StdoutRouter::kMaxQueuedLines));

    echo.LetGo();
    worker.join();
    ASSERT_TRUE(router.FlushEcho(kDeadlineMs));
    EXPECT_GT(echo.bytes, 0u);
    EXPECT_LE(echo.bytes, 2 * my::StdoutRouter::kMaxEchoBytes);
    EXPECT_LT(echo.bytes, total * (line.size() + 1));
}

TEST(ConsoleRouter, AfterTheReaderHasGoneNothingMoreIsEchoedButEverythingQueued)
{
    StuckEcho echo;
    echo.LetGo();
    std::ostringstream unused;
    std::ostream stream(unused.rdbuf());
    my::StdoutRouter router(stream, nullptr, echo.Fn(true));
    stream << "first\n";
    ASSERT_TRUE(router.FlushEcho(kDeadlineMs));
    EXPECT_EQ(echo.calls, 1u);
    stream << "second\nthird\n";
    ASSERT_TRUE(router.FlushEcho(kDeadlineMs));
    EXPECT_EQ(echo.calls, 1u);
    EXPECT_EQ(router.TakeLines(), (Lines{"first", "second", "third"}));
}

// A program that ends while its echo is held up still ends.
TEST(ConsoleRouter, AnEchoHeldUpForGoodIsAbandonedAtTheEnd)
{
    auto echo = std::make_shared<StuckEcho>();
    std::ostringstream unused;
    std::ostream stream(unused.rdbuf());
    {
        my::StdoutRouter router(stream, nullptr, [echo](const char* d, size_t n) { return echo->Fn()(d, n); });
        stream << "never echoed\n";
        EXPECT_FALSE(router.FlushEcho(10));
    }
    EXPECT_EQ(stream.rdbuf(), unused.rdbuf());
    echo->LetGo();
}

TEST(ConsoleRouter, GivesTheStreamItsBufferBack)
{
    std::ostringstream original;
    std::ostream stream(original.rdbuf());
    {
        my::StdoutRouter router(stream, nullptr);
        EXPECT_NE(stream.rdbuf(), original.rdbuf());
    }
    EXPECT_EQ(stream.rdbuf(), original.rdbuf());
    stream << "direct";
    EXPECT_EQ(original.str(), "direct");
}

TEST(ConsoleCtrlHandler, AnswersOnlyCtrlCAndCtrlBreak)
{
    const struct {
        unsigned long event;
        bool handled;
    } cases[] = {{0, true}, {1, true}, {2, false}, {5, false}, {6, false}};
    for (const auto& c : cases) {
        std::ostringstream out;
        std::streambuf* old = std::cout.rdbuf(out.rdbuf());
        const bool handled = ConsoleCtrlHandler(c.event);
        std::cout.rdbuf(old);
        EXPECT_EQ(handled, c.handled) << "event " << c.event;
        EXPECT_EQ(out.str(), c.handled ? "\n\t\t---Ctrl+Break pressed!---\n" : "") << "event " << c.event;
    }
}

} // namespace
