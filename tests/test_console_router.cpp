#include "Application/StdoutRouter.h"
#include "Application/UnixSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

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
    EXPECT_EQ(s.echo.str(), "first\nsecond\r\n3\nvia ConsolePrint\n");
    EXPECT_TRUE(s.router.TakeLines().empty());
}

TEST(ConsoleRouter, UnfinishedLineWaitsUntilItEndsOrShutdown)
{
    RoutedStream s;
    s.stream << "no end yet";
    EXPECT_TRUE(s.router.TakeLines().empty());
    EXPECT_EQ(s.echo.str(), "");
    s.stream << ", still";
    EXPECT_EQ(s.router.TakeAllLines(), (Lines{"no end yet, still"}));
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
