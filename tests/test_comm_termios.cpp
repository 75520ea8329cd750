#include "ComPort/CommSets.h"
#include "ComPort/MyDCBHelper.h"
#include "ComPort/PollTimeouts.h"
#include "ComPort/TermiosFromDcb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace my::Comm;

namespace {

typedef std::vector<std::pair<const char*, uint32_t>> FieldValues;

// The built-in block with some fields changed, by their INI names.
DCB With(const FieldValues& values)
{
    DCB d = PortSetsT().dcb;
    for (const auto& v : values) {
        unsigned idx = 0;
        while (std::strcmp(DCBFieldName(idx), v.first) != 0)
            ++idx;
        SetDCBField(v.second, d, idx);
    }
    return d;
}

std::string Describe(const FieldValues& values)
{
    std::string text;
    for (const auto& v : values)
        text += std::string(v.first) + "=" + std::to_string(v.second) + " ";
    return text.empty() ? "defaults" : text;
}

const tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

struct LineCase {
    FieldValues fields;
    speed_t speed;
    uint32_t customBaud;
    tcflag_t framing; // the kFramingBits part of c_cflag
    tcflag_t iflag;   // all of c_iflag
    bool dtr;
    bool rts;
    bool rs485;
};

} // namespace

TEST(TermiosFromDcbTest, TranslatesEveryLineSetting)
{
    const LineCase cases[] = {
        {{}, B9600, 0, CS8, 0, false, false, false},
        {{{"BaudRate", 110}}, B110, 0, CS8, 0, false, false, false},
        {{{"BaudRate", 115200}}, B115200, 0, CS8, 0, false, false, false},
        {{{"BaudRate", 4000000}}, B4000000, 0, CS8, 0, false, false, false},
        {{{"BaudRate", 14400}}, B38400, 14400, CS8, 0, false, false, false},
        {{{"BaudRate", 56000}}, B38400, 56000, CS8, 0, false, false, false},
        {{{"BaudRate", 250000}}, B38400, 250000, CS8, 0, false, false, false},
        {{{"ByteSize", 5}}, B9600, 0, CS5, 0, false, false, false},
        {{{"ByteSize", 6}}, B9600, 0, CS6, 0, false, false, false},
        {{{"ByteSize", 7}}, B9600, 0, CS7, 0, false, false, false},
        {{{"Parity", 1}}, B9600, 0, CS8 | PARENB | PARODD, 0, false, false, false},
        {{{"Parity", 2}}, B9600, 0, CS8 | PARENB, 0, false, false, false},
        {{{"Parity", 3}}, B9600, 0, CS8 | PARENB | CMSPAR | PARODD, 0, false, false, false},
        {{{"Parity", 4}}, B9600, 0, CS8 | PARENB | CMSPAR, 0, false, false, false},
        {{{"Parity", 2}, {"fParity", 1}}, B9600, 0, CS8 | PARENB, INPCK, false, false, false},
        {{{"StopBits", 1}}, B9600, 0, CS8 | CSTOPB, 0, false, false, false},
        {{{"StopBits", 2}, {"ByteSize", 7}}, B9600, 0, CS7 | CSTOPB, 0, false, false, false},
        {{{"fOutxCtsFlow", 1}}, B9600, 0, CS8 | CRTSCTS, 0, false, false, false},
        {{{"fRtsControl", 2}}, B9600, 0, CS8 | CRTSCTS, 0, false, true, false},
        {{{"fOutX", 1}}, B9600, 0, CS8, IXON, false, false, false},
        {{{"fInX", 1}}, B9600, 0, CS8, IXOFF, false, false, false},
        {{{"fOutX", 1}, {"fInX", 1}}, B9600, 0, CS8, IXON | IXOFF, false, false, false},
        {{{"fOutxDsrFlow", 1}, {"fDsrSensitivity", 1}}, B9600, 0, CS8, 0, false, false, false},
        {{{"fDtrControl", 1}}, B9600, 0, CS8, 0, true, false, false},
        {{{"fDtrControl", 2}}, B9600, 0, CS8, 0, true, false, false},
        {{{"fRtsControl", 1}}, B9600, 0, CS8, 0, false, true, false},
        {{{"fRtsControl", 3}}, B9600, 0, CS8, 0, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c.fields));
        LineSettings s;
        ASSERT_EQ(TermiosFromDcb(With(c.fields), s), 0);
        EXPECT_EQ(cfgetospeed(&s.tio), c.speed);
        EXPECT_EQ(cfgetispeed(&s.tio), c.speed);
        EXPECT_EQ(s.customBaud, c.customBaud);
        EXPECT_EQ(s.tio.c_cflag & kFramingBits, c.framing);
        EXPECT_EQ(s.tio.c_iflag, c.iflag);
        EXPECT_EQ(s.dtr, c.dtr);
        EXPECT_EQ(s.rts, c.rts);
        EXPECT_EQ(s.rs485, c.rs485);
        // Raw mode whatever the block says: bytes pass unchanged, reads do
        // not wait inside the driver.
        EXPECT_EQ(s.tio.c_oflag, 0u);
        EXPECT_EQ(s.tio.c_lflag, 0u);
        EXPECT_EQ(s.tio.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
        EXPECT_EQ(s.tio.c_cc[VMIN], 0);
        EXPECT_EQ(s.tio.c_cc[VTIME], 0);
    }
}

TEST(TermiosFromDcbTest, FlowControlCharactersAreTheBlocksOwn)
{
    LineSettings s;
    ASSERT_EQ(TermiosFromDcb(With({{"fOutX", 1}, {"XonChar", 0xA0}, {"XoffChar", 0xFE}}), s), 0);
    EXPECT_EQ(s.tio.c_cc[VSTART], 0xA0);
    EXPECT_EQ(s.tio.c_cc[VSTOP], 0xFE);
}

TEST(TermiosFromDcbTest, ValuesTermiosCannotTakeAreRefused)
{
    const FieldValues cases[] = {
        {{"BaudRate", 0}}, {{"ByteSize", 4}}, {{"ByteSize", 9}}, {{"ByteSize", 0}},
        {{"Parity", 5}},   {{"Parity", 255}}, {{"StopBits", 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Describe(c));
        LineSettings s;
        EXPECT_EQ(TermiosFromDcb(With(c), s), EINVAL);
    }
}

TEST(PollTimeoutsTest, ReadLimitsKeepTheWindowsMeanings)
{
    const uint32_t kMax = 0xFFFFFFFFu;
    const struct {
        COMMTIMEOUTS t;
        uint32_t count;
        int64_t totalMs;
        int64_t gapMs;
    } cases[] = {
        {{1000, 50, 100, 0, 0}, 10, 600, 1000},       // built-in: multiplier × count + constant
        {{0, 0, 250, 0, 0}, 10, 250, -1},             // constant only, no interval
        {{0, 30, 0, 0, 0}, 4, 120, -1},               // multiplier only
        {{20, 0, 0, 0, 0}, 10, -1, 20},               // both totals 0: no total limit
        {{0, 0, 0, 0, 0}, 10, -1, -1},                // nothing: wait for every byte
        {{kMax, 0, 0, 0, 0}, 10, 0, -1},              // return at once with what is there
        {{kMax, kMax, 500, 0, 0}, 10, 500, 0},        // wait for the first bytes only
        {{0, 100000, 7, 0, 0}, 100000, 10000000007, -1}, // no 32-bit overflow
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.t.ReadIntervalTimeout) + "/" + std::to_string(c.t.ReadTotalTimeoutMultiplier)
                     + "/" + std::to_string(c.t.ReadTotalTimeoutConstant) + " count " + std::to_string(c.count));
        const TransferLimits l = ReadLimits(c.t, c.count);
        EXPECT_EQ(l.totalMs, c.totalMs);
        EXPECT_EQ(l.gapMs, c.gapMs);
    }
}

TEST(PollTimeoutsTest, WriteLimitsAndTheRefusedCombination)
{
    EXPECT_EQ(WriteLimits({0, 0, 0, 100, 1000}, 8).totalMs, 1800);
    EXPECT_EQ(WriteLimits({0, 0, 0, 0, 0}, 8).totalMs, -1);
    EXPECT_EQ(WriteLimits({0, 0, 0, 0, 40}, 8).totalMs, 40);
    EXPECT_EQ(WriteLimits({0, 0, 0, 100, 1000}, 8).gapMs, -1);

    const uint32_t kMax = 0xFFFFFFFFu;
    EXPECT_EQ(CheckTimeouts({kMax, kMax, kMax, 0, 0}), EINVAL);
    EXPECT_EQ(CheckTimeouts({kMax, kMax, 500, 0, 0}), 0);
    EXPECT_EQ(CheckTimeouts({1000, 50, 100, 100, 1000}), 0);
}
