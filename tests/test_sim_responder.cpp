// The simulator's RTU responder: requests in, answers out, with faults.
#include "sim/SimArchive.h"
#include "sim/SimResponder.h"

#include "ComPort/RS232Modbus.h"
#include "VCLUtils/bcd_.h"

#include <gtest/gtest.h>

#include <map>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Request(uint8_t addr, uint8_t fn, const Bytes& data)
{
    return MakeModbusFrame(addr, fn, data.data(), data.data() + data.size());
}

Bytes Read(uint8_t addr, uint16_t first, uint16_t count)
{
    return Request(addr, 3, {uint8_t(first >> 8), uint8_t(first), uint8_t(count >> 8), uint8_t(count)});
}

Bytes Command(uint8_t addr, uint16_t code, double arg)
{
    Bytes data = {0x00, 0x20, 0x00, 0x03, 0x06, uint8_t(code >> 8), uint8_t(code), 0, 0, 0, 0};
    DoubleToBcd(arg, &data[7]);
    return Request(addr, 0x16, data);
}

Bytes Joined(const sim::Reply& r)
{
    Bytes all;
    for (const auto& p : r.pieces)
        all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

// The exception the link's answer checks raise for an answer; "" if none.
std::string CheckFailure(const Bytes& answer, uint8_t addr, uint8_t fn)
{
    try {
        ValidateAnswer(answer.data(), answer.data() + answer.size(), addr, fn);
        return "";
    } catch (const PMyExcpt& e) {
        return e->TypeName();
    }
}

// Two instruments, channels fixed, values still: answers are predictable.
class SimResponderTest : public ::testing::Test {
protected:
    SimResponderTest() : responder_(MakeInstruments(), 1, true) {}

    static std::vector<sim::Instrument> MakeInstruments()
    {
        return {sim::Instrument(1, 9, 0x0005), sim::Instrument(2, 9, 0x0001)};
    }

    sim::Reply Send(const Bytes& request, double now = 0)
    {
        return responder_.Respond(request.data(), request.data() + request.size(), now);
    }
    // The one-piece answer to a request.
    Bytes Ask(const Bytes& request)
    {
        const auto r = Send(request);
        EXPECT_EQ(r.pieces.size(), 1u);
        return Joined(r);
    }
    void SetFault(const std::string& text, double now = 0) { responder_.SetFault(sim::ParseFault(text), now); }

    sim::Responder responder_;
};

} // namespace

TEST_F(SimResponderTest, ReadsRegistersOfTheMap)
{
    const sim::Instrument& inst = responder_.Instruments()[0];
    const struct {
        uint16_t first, count;
    } reads[] = {{0, 1}, {0, 2}, {52, 1}, {64, 2}, {84, 2}, {0, 32}, {32, 3}};
    for (const auto& rd : reads) {
        Bytes data = {uint8_t(2 * rd.count)};
        for (uint16_t reg = rd.first; reg < rd.first + rd.count; ++reg) {
            const uint16_t v = *inst.Register(reg, 0);
            data.push_back(uint8_t(v >> 8));
            data.push_back(uint8_t(v));
        }
        EXPECT_EQ(Ask(Read(1, rd.first, rd.count)), Request(1, 3, data)) << rd.first << "+" << rd.count;
    }
    EXPECT_EQ(Ask(Read(1, 52, 1)), Request(1, 3, {0x02, 0x00, 0x05}));
}

TEST_F(SimResponderTest, ExceptionAnswersForRegistersFunctionsAndMalformedData)
{
    const struct {
        Bytes request;
        uint8_t fn, code;
    } cases[] = {
        {Read(1, 35, 1), 0x03, 0x02},       {Read(1, 50, 4), 0x03, 0x02},  {Read(1, 66, 1), 0x03, 0x02},
        {Read(1, 216, 1), 0x03, 0x02},      {Read(1, 0xFFFF, 2), 0x03, 0x02}, {Read(1, 0, 0), 0x03, 0x03},
        {Read(1, 0, 126), 0x03, 0x03},      {Request(1, 3, {0, 0, 0}), 0x03, 0x03},
        {Request(1, 0x04, {0, 0, 0, 1}), 0x04, 0x01}, {Request(1, 0x10, {0, 0x20, 0, 3}), 0x10, 0x01},
        {Request(1, 0x06, {0, 0, 0, 1}), 0x06, 0x01}, {Request(1, 0x41, {0}), 0x41, 0x03},
        {Request(1, 0x16, {0, 0x21, 0, 3, 6, 0, 1, 0, 0, 0, 0}), 0x16, 0x02},
        {Request(1, 0x16, {0, 0x20, 0, 2, 4, 0, 1, 0, 0}), 0x16, 0x02},
        {Request(1, 0x16, {0, 0x20, 0, 3, 4, 0, 1, 0, 0, 0, 0}), 0x16, 0x03},
    };
    for (const auto& c : cases) {
        const Bytes answer = Ask(c.request);
        EXPECT_EQ(answer, Request(1, uint8_t(c.fn | 0x80), {c.code}));
        EXPECT_EQ(CheckFailure(answer, 1, c.fn), "") << "an exception answer passes the frame checks";
    }
    EXPECT_EQ(responder_.Counts().exceptionAnswers, std::size(cases));
}

TEST_F(SimResponderTest, CommandEchoAndZeroCorrectionShiftTheValues)
{
    const double before = responder_.Instruments()[0].ReportedValue(0, 0);
    EXPECT_EQ(Ask(Command(1, 1, 0.75)), Request(1, 0x16, {0x00, 0x20, 0x00, 0x03}));
    EXPECT_NEAR(responder_.Instruments()[0].ReportedValue(0, 0), before - 0.75, 1e-9);

    const Bytes answer = Ask(Read(1, 0, 2));
    EXPECT_NEAR(BcdToDouble(&answer[3]), before - 0.75, 1e-9);
    EXPECT_EQ(responder_.Instruments()[1].ZeroCorrection(), 0) << "only the addressed instrument";
}

TEST_F(SimResponderTest, OtherAddressesAndBroadcastsGetNoAnswer)
{
    EXPECT_TRUE(Send(Read(3, 0, 1)).pieces.empty());
    EXPECT_TRUE(Send(Read(0, 0, 1)).pieces.empty());
    EXPECT_TRUE(Send(Request(0, 0x41, {})).pieces.empty());

    // A broadcast command is still carried out, by every instrument.
    const auto r = Send(Command(0, 1, 2.5));
    EXPECT_TRUE(r.pieces.empty());
    EXPECT_EQ(responder_.Instruments()[0].ZeroCorrection(), 2.5);
    EXPECT_EQ(responder_.Instruments()[1].ZeroCorrection(), 2.5);

    const auto& n = responder_.Counts();
    EXPECT_EQ(n.requests, 4u);
    EXPECT_EQ(n.toOtherAddresses, 1u);
    EXPECT_EQ(n.broadcasts, 3u);
    EXPECT_EQ(n.answers, 0u);
    EXPECT_EQ(n.byAddress.at(0), 3u);
    EXPECT_EQ(n.byAddress.at(3), 1u);
}

TEST_F(SimResponderTest, DamagedAndShortFramesAreIgnored)
{
    Bytes bad = Read(1, 0, 1);
    bad[3] ^= 1;
    EXPECT_TRUE(Send(bad).pieces.empty());
    EXPECT_TRUE(Send({0x01, 0x03, 0x00}).pieces.empty());
    EXPECT_EQ(responder_.Counts().framesIgnored, 2u);
    EXPECT_EQ(responder_.Counts().requests, 0u);
}

TEST_F(SimResponderTest, ArchiveAnswerCarriesTheBlock)
{
    const Bytes answer = Ask(Request(2, 0x41, {}));
    ASSERT_EQ(answer.size(), 9804u);
    EXPECT_EQ(CheckFailure(answer, 2, 0x41), "");
    const auto& block = responder_.Instruments()[1].Archive();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), answer.begin() + 2));
}

TEST_F(SimResponderTest, EachFaultGivesItsAnswerForm)
{
    const Bytes request = Read(1, 52, 1);
    const Bytes sound = Ask(request);
    const struct {
        const char* fault;
        std::string failure; // what the link's checks make of it
        size_t length;       // of all pieces together
    } cases[] = {
        {"none", "", sound.size()},
        {"silent", "MyTransferNoAnswerException", 0},
        {"bad-crc", "MyTransferBadCRC16Exception", sound.size()},
        {"wrong-address", "MyTransferAnswerAdressMismatchException", sound.size()},
        {"wrong-function", "MyTransferAnswerCommandCodeMismatchException", sound.size()},
        {"short 1", "MyTransferAnswerLengthMismatchException", 1},
        {"short 2", "MyTransferAnswerLengthMismatchException", 2},
        {"short", "MyTransferAnswerLengthMismatchException", 3},
        {"exception 4", "", 5},
        {"split 30 3", "", sound.size()},
    };
    for (const auto& c : cases) {
        SetFault(c.fault);
        const auto r = Send(request);
        const Bytes answer = Joined(r);
        EXPECT_EQ(answer.size(), c.length) << c.fault;
        EXPECT_EQ(CheckFailure(answer, 1, 3), c.failure) << c.fault;
        EXPECT_FALSE(r.dropLine);
    }
    SetFault("short 2");
    EXPECT_EQ(Joined(Send(request)), Bytes(sound.begin(), sound.begin() + 2));
    SetFault("exception 4");
    EXPECT_EQ(Joined(Send(request)), Request(1, 0x83, {0x04}));
    SetFault("wrong-address");
    EXPECT_EQ(Joined(Send(request))[0], 2);

    SetFault("split 30 3");
    const auto split = Send(request);
    ASSERT_EQ(split.pieces.size(), 3u);
    EXPECT_EQ(Joined(split), sound);
    EXPECT_EQ(split.pieces[0].gapBeforeMs, 0);
    EXPECT_EQ(split.pieces[1].gapBeforeMs, 30);
    EXPECT_EQ(split.pieces[2].gapBeforeMs, 30);

    SetFault("drop 250");
    const auto drop = Send(request);
    EXPECT_TRUE(drop.dropLine);
    EXPECT_EQ(drop.downMs, 250);
    EXPECT_TRUE(drop.pieces.empty());
    EXPECT_EQ(responder_.CurrentFault(0).kind, sim::FaultKind::None) << "a drop happens once";
}

TEST_F(SimResponderTest, WrongArchiveSizeConcernsOnlyArchiveReads)
{
    SetFault("archive-size 9799 once");
    EXPECT_EQ(Ask(Read(1, 52, 1)).size(), 7u) << "other answers stay sound and do not use it up";
    const Bytes shorter = Ask(Request(1, 0x41, {}));
    EXPECT_EQ(shorter.size(), 9799u + 4);
    EXPECT_EQ(CheckFailure(shorter, 1, 0x41), "");
    EXPECT_EQ(Ask(Request(1, 0x41, {})).size(), 9804u) << "used up";

    SetFault("archive-size 9801");
    const Bytes longer = Ask(Request(1, 0x41, {}));
    EXPECT_EQ(longer.size(), 9801u + 4);
    EXPECT_EQ(CheckFailure(longer, 1, 0x41), "");
}

TEST_F(SimResponderTest, ArchiveExceptionConcernsOnlyArchiveReads)
{
    SetFault("archive-exception 2 once");
    EXPECT_EQ(Ask(Read(1, 52, 1)).size(), 7u) << "other answers stay sound and do not use it up";
    const Bytes refused = Ask(Request(1, 0x41, {}));
    EXPECT_EQ(refused, Request(1, 0xC1, {0x02}));
    EXPECT_EQ(CheckFailure(refused, 1, 0x41), "") << "an exception answer passes the answer checks";
    EXPECT_EQ(Ask(Request(1, 0x41, {})).size(), 9804u) << "used up";
}

// Another Modbus device on the bus: it answers whatever it is asked with its
// exception code, and the instruments beside it are not disturbed.
TEST_F(SimResponderTest, ForeignDeviceAnswersEverythingWithItsException)
{
    responder_.SetForeign({{5, 2}, {6, 1}});
    EXPECT_EQ(Ask(Read(5, 0, 1)), Request(5, 0x83, {0x02}));
    EXPECT_EQ(Ask(Request(5, 0x41, {})), Request(5, 0xC1, {0x02}));
    EXPECT_EQ(Ask(Read(6, 0, 1)), Request(6, 0x83, {0x01}));
    EXPECT_EQ(Ask(Read(1, 52, 1)), Request(1, 3, {0x02, 0x00, 0x05}));
    EXPECT_TRUE(Send(Read(7, 0, 1)).pieces.empty());
    EXPECT_EQ(responder_.Counts().answers, 4u);
    EXPECT_EQ(responder_.Counts().byAddress.at(5), 2u);
}

TEST_F(SimResponderTest, CountedFaultRunsOutThenAnswersAgain)
{
    SetFault("silent times 2");
    EXPECT_TRUE(Send(Read(1, 0, 1)).pieces.empty());
    EXPECT_TRUE(Send(Read(3, 0, 1)).pieces.empty()); // another address does not use it up
    EXPECT_TRUE(Send(Read(1, 0, 1)).pieces.empty());
    EXPECT_EQ(Send(Read(1, 0, 1)).pieces.size(), 1u);
    EXPECT_EQ(responder_.CurrentFault(0).kind, sim::FaultKind::None);
    EXPECT_EQ(responder_.Counts().faults.at("silent"), 2u);
}

TEST_F(SimResponderTest, RandomMixForAWhileThenSound)
{
    SetFault("random 10", 100);
    std::map<std::string, int> seen;
    std::vector<Bytes> answers;
    for (int i = 0; i < 300; ++i) {
        const Bytes answer = Joined(Send(Read(1, 52, 1), 100 + i * 0.01));
        answers.push_back(answer);
        ++seen[CheckFailure(answer, 1, 3)];
    }
    EXPECT_GT(seen[""], 60);
    EXPECT_GT(seen["MyTransferNoAnswerException"], 5);
    EXPECT_GT(seen["MyTransferBadCRC16Exception"], 5);
    EXPECT_GT(seen["MyTransferAnswerLengthMismatchException"], 5);
    EXPECT_GT(seen["MyTransferAnswerAdressMismatchException"], 5);
    EXPECT_GT(seen["MyTransferAnswerCommandCodeMismatchException"], 5);

    // The same seed gives the same mix.
    sim::Responder again(MakeInstruments(), 1, true);
    again.SetFault(sim::ParseFault("random 10"), 100);
    for (int i = 0; i < 300; ++i) {
        const Bytes request = Read(1, 52, 1);
        EXPECT_EQ(Joined(again.Respond(request.data(), request.data() + request.size(), 100 + i * 0.01)), answers[i]);
    }

    // After its ten seconds every answer is sound again.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(CheckFailure(Joined(Send(Read(1, 52, 1), 110.5)), 1, 3), "");
    EXPECT_EQ(responder_.CurrentFault(110.5).kind, sim::FaultKind::None);
}

TEST_F(SimResponderTest, CountsPerFunctionAddressAndFault)
{
    Send(Read(1, 0, 1));
    Send(Read(2, 0, 1));
    Send(Command(1, 1, 0));
    Send(Request(1, 0x41, {}));
    Send(Request(1, 0x2B, {}));
    SetFault("bad-crc once");
    Send(Read(1, 0, 1));
    const auto& n = responder_.Counts();
    EXPECT_EQ(n.requests, 6u);
    EXPECT_EQ(n.byFunction.at(0x03), 3u);
    EXPECT_EQ(n.byFunction.at(0x16), 1u);
    EXPECT_EQ(n.byFunction.at(0x41), 1u);
    EXPECT_EQ(n.byFunction.at(0x2B), 1u);
    EXPECT_EQ(n.byAddress.at(1), 5u);
    EXPECT_EQ(n.byAddress.at(2), 1u);
    EXPECT_EQ(n.answers, 6u);
    EXPECT_EQ(n.exceptionAnswers, 1u);
    EXPECT_EQ(n.FaultsTotal(), 1u);
    const std::string report = sim::FormatCounts(n);
    EXPECT_NE(report.find("function 0x41: 1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("address 2: 1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("bad-crc: 1\n"), std::string::npos) << report;
}

TEST_F(SimResponderTest, NoiseLeavesTheAnswersSoundAndRunsOut)
{
    SetFault("noise 10", 100);
    EXPECT_EQ(responder_.CurrentFault(105).kind, sim::FaultKind::Noise);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(CheckFailure(Joined(Send(Read(1, 52, 1), 100 + i * 0.1)), 1, 3), "");
    EXPECT_EQ(responder_.Counts().faults.count("noise"), 0u) << "no answer carries the noise";
    EXPECT_EQ(responder_.CurrentFault(110.5).kind, sim::FaultKind::None);
}
