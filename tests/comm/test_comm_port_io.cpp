#include "CommTestSupport.h"

#include "ComPort/CommUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

using my::Comm::Port;

namespace {

typedef std::chrono::steady_clock Clock;

const uint32_t kMax = 0xFFFFFFFFu;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// An open port COM1 over a fresh pseudo-terminal.
class PortIoTest : public ::testing::Test {
protected:
    PortIoTest() : com1(1) {}

    void OpenWith(const COMMTIMEOUTS& timeouts)
    {
        port.Sets().timeouts = timeouts;
        port.Open();
    }

    bool WaitForWaiting(uint32_t count)
    {
        return WaitUntil([&] { return port.ClearError() == count; });
    }

    std::string ReadPort(int32_t count)
    {
        std::string buf(count, '\0');
        buf.resize(port.Read(buf.data(), count));
        return buf;
    }

    PtyPort com1;
    Port port;
};

} // namespace

// Control characters, CR, LF, XON, XOFF and 0xFF are data on a serial line.
TEST_F(PortIoTest, EveryByteValuePassesUnchangedBothWays)
{
    OpenWith({kMax, 0, 0, 0, 0});
    const std::string special("\x03\x0D\x11\x13\xFF\x0A\x7F\x1C\x04\x00\x1A", 11);
    com1.pty.Write(special);
    ASSERT_TRUE(WaitForWaiting(special.size()));
    EXPECT_EQ(ReadPort(special.size()), special);

    // Nothing was echoed to the other side: the first bytes it sees are the
    // port's own.
    EXPECT_EQ(port.Write(special.data(), special.size()), static_cast<int32_t>(special.size()));
    EXPECT_EQ(com1.pty.Read(special.size()), special);

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(port.Write(all.data(), all.size()), 256);
    EXPECT_EQ(com1.pty.Read(all.size()), all);
    com1.pty.Write(all);
    ASSERT_TRUE(WaitForWaiting(all.size()));
    EXPECT_EQ(ReadPort(all.size()), all);
}

TEST_F(PortIoTest, BytesWaitingAndPurge)
{
    OpenWith({kMax, 0, 0, 0, 0});
    EXPECT_EQ(port.ClearError(), 0u);
    com1.pty.Write("12345");
    ASSERT_TRUE(WaitForWaiting(5));
    EXPECT_EQ(port.ClearError(), 5u);
    port.Purge();
    EXPECT_EQ(port.ClearError(), 0u);
    EXPECT_EQ(ReadPort(10), "");
    com1.pty.Write("ab");
    ASSERT_TRUE(WaitForWaiting(2));
    EXPECT_EQ(ReadPort(10), "ab");
}

// The link waits for an answer's bytes with WaitForInput: it must wake on
// the first byte, yet sleep its whole time on a quiet line, on a dead line
// and on a closed port, and leave the errors to ClearError().
TEST_F(PortIoTest, WaitForInputWakesOnTheFirstByteAndOtherwiseSleepsItsTime)
{
    OpenWith({kMax, 0, 0, 0, 0});
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        com1.pty.Write("a");
    });
    auto start = Clock::now();
    port.WaitForInput(20000);
    sender.join();
    EXPECT_LT(MsSince(start), 15000) << "did not wake on the byte";
    EXPECT_EQ(ReadPort(1), "a");

    start = Clock::now();
    port.WaitForInput(100);
    EXPECT_GE(MsSince(start), 100) << "quiet line";

    com1.pty.CloseMaster();
    start = Clock::now();
    port.WaitForInput(100);
    EXPECT_GE(MsSince(start), 100) << "dead line";
    const PMyExcpt e = Thrown([&] { port.ClearError(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Message(), "WIN:5:Input/output error ::ClearCommError");

    port.Close();
    start = Clock::now();
    port.WaitForInput(100);
    EXPECT_GE(MsSince(start), 100) << "closed port";
}

// One read under each kind of read time-out: the bytes waiting before it,
// the bytes that come while it waits, what it returns and the least time
// it must take.
struct ReadCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    const char* waiting;
    int lateAfterMs; // when the late bytes come; -1: none
    const char* late;
    int32_t asked;
    const char* got;
    int atLeastMs;
};

const ReadCase kReadCases[] = {
    // The built-in time-outs.
    {"WhatIsWaitingReturnsAtOnce", {1000, 50, 100, 100, 1000}, "abc", -1, "", 3, "abc", 0},
    {"TotalTimeoutEndsTheReadWithWhatCame", {0, 0, 300, 0, 0}, "ab", -1, "", 10, "ab", 295},
    // 40 × 5 + 100.
    {"TotalTimeoutCountsTheMultiplierPerByteAsked", {0, 40, 100, 0, 0}, "", -1, "", 5, "", 295},
    // Both totals 0: only the interval can end the read early; without it
    // the read would wait for ever (and the test's own time limit fails it).
    {"IntervalEndsTheReadAfterSilence", {50, 0, 0, 0, 0}, "abc", -1, "", 10, "abc", 0},
    {"IntervalStartsOnlyWithTheFirstByte", {50, 0, 400, 0, 0}, "", -1, "", 10, "", 395},
    {"WithoutAnyTimeoutTheReadWaitsForEveryByte", {0, 0, 0, 0, 0}, "x", 300, "yz", 3, "xyz", 295},
    {"ReturnAtOnceGivesNothingWhenNothingIsThere", {kMax, 0, 0, 0, 0}, "", -1, "", 10, "", 0},
    {"ReturnAtOnceGivesWhatIsThere", {kMax, 0, 0, 0, 0}, "ab", -1, "", 10, "ab", 0},
    {"WaitForFirstBytesThenReturn", {kMax, kMax, 5000, 0, 0}, "", 100, "q", 10, "q", 95},
};

class PortReadTest : public PortIoTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PortReadTest, ReadEndsAsItsTimeoutsSay)
{
    const ReadCase& c = GetParam();
    OpenWith(c.timeouts);
    com1.pty.Write(c.waiting);
    ASSERT_TRUE(WaitForWaiting(static_cast<uint32_t>(std::string(c.waiting).size())));
    std::thread late;
    if (c.lateAfterMs >= 0)
        late = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.lateAfterMs));
            com1.pty.Write(c.late);
        });
    const auto start = Clock::now();
    EXPECT_EQ(ReadPort(c.asked), c.got);
    EXPECT_GE(MsSince(start), c.atLeastMs);
    if (late.joinable())
        late.join();
}

INSTANTIATE_TEST_SUITE_P(Timeouts, PortReadTest, ::testing::ValuesIn(kReadCases),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(PortIoTest, WriteTimeoutEndsAWriteTheOtherSideDoesNotTake)
{
    OpenWith({0, 0, 0, 0, 200});
    const std::string big(4 << 20, 'w');
    const auto start = Clock::now();
    const int32_t written = port.Write(big.data(), big.size());
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int32_t>(big.size()));
    EXPECT_GE(MsSince(start), 195);
}

TEST_F(PortIoTest, WriteWithoutTimeoutsWaitsUntilEverythingIsTaken)
{
    OpenWith({0, 0, 0, 0, 0});
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    std::string received;
    std::thread reader([&] { received = com1.pty.Read(big.size(), 30000); });
    EXPECT_EQ(port.Write(big.data(), big.size()), static_cast<int32_t>(big.size()));
    reader.join();
    EXPECT_TRUE(received == big) << received.size() << " bytes of " << big.size();
}

// The other side goes away: the next call fails, raised by the port layer,
// so the engine will close the port; opening again finds no device.
TEST_F(PortIoTest, PeerThatClosesFailsTheNextCall)
{
    const struct {
        const char* call;
        std::function<void(Port&)> op;
    } cases[] = {
        {"::ClearCommError", [](Port& p) { p.ClearError(); }},
        {"::ReadFile",
         [](Port& p) {
             char b[4];
             p.Read(b, 4);
         }},
        {"::WriteFile", [](Port& p) { p.Write("abcd", 4); }},
        {"::PurgeComm", [](Port& p) { p.Purge(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        PtyPort com2(2);
        Port p;
        p.SetPortNumber(2);
        p.Sets().timeouts = {0, 0, 0, 0, 0}; // a read must not end by time
        p.Open();
        com2.pty.CloseMaster();
        const PMyExcpt e = Thrown([&] { c.op(p); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->TypeName(), "MyWindowsException");
        EXPECT_EQ(Innermost(e).Where().file, "CommUtils.cpp");
        EXPECT_EQ(e->Message(), std::string("WIN:5:Input/output error ") + c.call);
        EXPECT_TRUE(p.IsOpen());
        p.Close();
        EXPECT_TRUE(Thrown([&] { p.Open(); }));
        EXPECT_FALSE(p.IsOpen());
    }
}
