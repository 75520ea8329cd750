// The simulator's command line, fault texts and line timing.
#include "sim/SimControl.h"
#include "sim/SimFault.h"
#include "sim/SimOptions.h"
#include "sim/SimTiming.h"

#include <gtest/gtest.h>

#include <map>

namespace {

sim::Options Parse(const std::vector<std::string>& args) { return sim::ParseOptions(args); }

// The message of the usage error a command line gives; "" when it is fine.
std::string UsageError(const std::vector<std::string>& args)
{
    try {
        sim::ParseOptions(args);
        return "";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(e->TypeName(), "MySimUsageException");
        return e->Message();
    }
}

std::string FaultError(const std::string& text)
{
    try {
        sim::ParseFault(text);
        return "";
    } catch (const PMyExcpt& e) {
        return e->Message();
    }
}

} // namespace

TEST(SimFaultTextTest, ReadsEveryFaultAndWritesItBack)
{
    const struct {
        const char* text;
        const char* canonical;
    } cases[] = {
        {"none", "none"},
        {"silent", "silent"},
        {"silent once", "silent times 1"},
        {"bad-crc times 3", "bad-crc times 3"},
        {"wrong-address", "wrong-address"},
        {"wrong-function", "wrong-function"},
        {"short", "short 3"},
        {"short 1", "short 1"},
        {"exception", "exception 4"},
        {"exception 2 once", "exception 2 times 1"},
        {"split", "split 20 2"},
        {"split:50:3", "split 50 3"},
        {"split,5", "split 5 2"},
        {"archive-size", "archive-size 9799"},
        {"archive-size 0", "archive-size 0"},
        {"archive-exception", "archive-exception 4"},
        {"archive-exception 2 once", "archive-exception 2 times 1"},
        {"random 30", "random 30"},
        {"drop", "drop 1000 times 1"},
        {"  drop 200  ", "drop 200 times 1"},
        {"babble", "babble 2 1000"},
        {"babble 5 20 once", "babble 5 20 times 1"},
        {"noise", "noise 60"},
        {"noise 5", "noise 5"},
    };
    for (const auto& c : cases) {
        const sim::Fault f = sim::ParseFault(c.text);
        EXPECT_EQ(sim::FaultText(f), c.canonical) << c.text;
        EXPECT_EQ(sim::FaultText(sim::ParseFault(sim::FaultText(f))), c.canonical) << c.text;
    }
}

TEST(SimFaultTextTest, RejectsWhatItCannotTake)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "no fault given"},
        {"loud", "unknown fault \"loud\""},
        {"short 4", "the length of a short answer must be a whole number from 1 to 3, not \"4\""},
        {"short 0", "the length of a short answer must be a whole number from 1 to 3, not \"0\""},
        {"split 10 1", "the number of pieces must be a whole number from 2 to 100, not \"1\""},
        {"silent 5", "too many numbers after \"silent\""},
        {"exception x", "the exception code must be a whole number from 1 to 255, not \"x\""},
        {"none once", "\"none\" takes no count"},
        {"babble 2 0", "the number of bytes must be a whole number from 1 to 1000000, not \"0\""},
        {"silent times 0", "the number of times must be a whole number from 1 to 1000000, not \"0\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FaultError(c.text), c.message) << c.text;
}

TEST(SimOptionsTest, DefaultsAndEveryOption)
{
    const sim::Options d = Parse({});
    EXPECT_EQ(d.addresses, std::vector<uint8_t>{1});
    EXPECT_EQ(d.baud, 9600);
    EXPECT_EQ(d.seed, 1u);
    EXPECT_EQ(d.latencyMs, 5);
    EXPECT_EQ(d.turnaroundMs, 0);
    EXPECT_FALSE(d.mask);
    EXPECT_EQ(d.fault.kind, sim::FaultKind::None);

    const sim::Options o = Parse({"--device", "/dev/ttyUSB0", "--link=/tmp/com1", "--baud", "115200", "--address",
                                  "7,1-3", "--address=2", "--mask", "0x00FF", "--mask", "3:5", "--seed", "42",
                                  "--still", "--latency", "2,5", "--turnaround", "7", "--fault", "split:10:3",
                                  "--control", "/tmp/c", "--archive-out", "/tmp/a.bin", "--dump", "-v", "--foreign", "9",
                                  "--foreign=12:3"});
    EXPECT_EQ(o.device, "/dev/ttyUSB0");
    EXPECT_EQ(o.link, "/tmp/com1");
    EXPECT_EQ(o.baud, 115200);
    EXPECT_EQ(o.addresses, (std::vector<uint8_t>{1, 2, 3, 7}));
    EXPECT_EQ(o.mask, 0x00FF);
    EXPECT_EQ(o.masks.at(3), 5);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_TRUE(o.still);
    EXPECT_EQ(o.latencyMs, 2.5);
    EXPECT_EQ(o.turnaroundMs, 7);
    EXPECT_EQ(sim::FaultText(o.fault), "split 10 3");
    EXPECT_EQ(o.control, "/tmp/c");
    EXPECT_EQ(o.archiveOut, "/tmp/a.bin");
    EXPECT_TRUE(o.dump);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.foreign, (std::map<uint8_t, uint8_t>{{9, 2}, {12, 3}}));
    EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(SimOptionsTest, UsageErrors)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--speed", "9600"}, "unknown option \"--speed\" (see --help)"},
        {{"--baud"}, "--baud needs a value (see --help)"},
        {{"--baud", "9601"}, "--baud: 9601 is not a standard speed (1200, 2400, 4800, 9600, 19200, 38400, 57600, "
                             "115200, 230400, 460800, 921600)"},
        {{"--address", "0"}, "--address takes a whole number from 1 to 255, not \"0\""},
        {{"--address", "5-3"}, "--address: the range \"5-3\" runs backwards"},
        {{"--mask", "0x10000"}, "--mask takes a whole number from 0 to 65535, not \"0x10000\""},
        {{"--mask", "4:1"}, "--mask 4:...: no instrument has the address 4"},
        {{"--foreign", "0"}, "--foreign (address) takes a whole number from 1 to 255, not \"0\""},
        {{"--foreign", "2:0"}, "--foreign (exception code) takes a whole number from 1 to 255, not \"0\""},
        {{"--address", "1-3", "--foreign", "2"}, "--foreign 2: an instrument has that address already"},
        {{"--latency", "-1"}, "--latency takes milliseconds from 0 to 60000, not \"-1\""},
        {{"--turnaround", "60001"}, "--turnaround takes a whole number from 0 to 60000, not \"60001\""},
        {{"--still=1"}, "--still takes no value"},
        {{"--fault", "silent", "--fault", "none"}, "--fault may be given once"},
        {{"--command", "line"}, "--command needs --control PATH: the control socket of the running simulator"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UsageError(c.args), c.message);
}

TEST(SimOptionsTest, HelpNamesEveryOptionAndFault)
{
    const std::string help = sim::HelpText();
    for (const char* option : {"--device", "--link", "--baud", "--address", "--mask", "--seed", "--still",
                               "--latency", "--turnaround", "--fault", "--control", "--command", "--archive-out",
                               "--dump", "--verbose", "--help", "--foreign"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const char* fault : {"none", "silent", "bad-crc", "wrong-address", "wrong-function", "short", "exception",
                              "split", "archive-size", "archive-exception", "random", "drop", "babble"})
        EXPECT_NE(help.find(std::string("  ") + fault), std::string::npos) << fault;
    EXPECT_NE(help.find("SUBTRACTS"), std::string::npos);
}

TEST(SimControlTest, LinesEndWithCrOrLfAndTheRestWaits)
{
    std::string buffer = "fault silent\r\nline\n\ncounts";
    EXPECT_EQ(sim::TakeLines(buffer), (std::vector<std::string>{"fault silent", "line"}));
    EXPECT_EQ(buffer, "counts");
}

TEST(SimTimingTest, CharacterAndSilenceTimes)
{
    using std::chrono::microseconds;
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(sim::CharTime(9600)).count(), 1041);
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(sim::FrameSilence(9600)).count(), 3645);
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(sim::FrameSilence(19200)).count(), 1822);
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(sim::FrameSilence(38400)).count(), 1750);
}

TEST(SimTimingTest, RequestEndsAfterTheSilence)
{
    using std::chrono::microseconds;
    sim::FrameAssembler a(microseconds(3645));
    const sim::TimePoint t0;
    const uint8_t part1[] = {1, 3, 0}, part2[] = {0, 0, 1, 0x84, 0x0A};
    a.Add(part1, 3, t0);
    a.Add(part2, 5, t0 + microseconds(3000)); // within the silence: the same request
    EXPECT_FALSE(a.TakeIfComplete(t0 + microseconds(6000)));
    EXPECT_EQ(a.Deadline(), t0 + microseconds(6645));
    const auto frame = a.TakeIfComplete(t0 + microseconds(6645));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), 8u);
    EXPECT_TRUE(a.Empty());
}

TEST(SimTimingTest, AnswerBytesLeaveAtLineSpeedWithGapsBetweenPieces)
{
    using std::chrono::milliseconds;
    sim::Transmitter tx(milliseconds(1));
    const sim::TimePoint t0;
    tx.Start({{{1, 2, 3}, 0}, {{4, 5}, 10}}, t0 + milliseconds(5));
    EXPECT_FALSE(tx.Idle());
    EXPECT_EQ(tx.NextDue(), t0 + milliseconds(6)) << "a byte is there when its last bit is";
    EXPECT_EQ(tx.DueCount(t0 + milliseconds(5)), 0u);
    EXPECT_EQ(tx.DueCount(t0 + milliseconds(7)), 2u);
    tx.Written(2);
    EXPECT_EQ(tx.NextDue(), t0 + milliseconds(8));
    EXPECT_EQ(tx.DueCount(t0 + milliseconds(18)), 1u) << "the second piece waits for its gap";
    tx.Written(1);
    EXPECT_EQ(tx.NextDue(), t0 + milliseconds(19));
    EXPECT_EQ(tx.DueCount(t0 + milliseconds(100)), 2u);
    tx.Written(2);
    EXPECT_TRUE(tx.Idle());
}
