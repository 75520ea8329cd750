#include "TestUtils.h"

#include "Application/ConsolePrint.h"
#include "ComPort/CommSets.h"
#include "ComPort/RS232Modbus.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

typedef std::vector<uint8_t> Bytes;

// One simulator for the whole program: COM1 must be mapped before the
// present-port list is built, which happens once per process.
struct Line {
    TempDir dir;
    std::unique_ptr<sim::SimProcess> sim;
    std::string link = dir.File("ttyK8");
    std::string control = dir.File("sim.ctl");
};
Line* line = nullptr;

std::string console;
void CaptureConsole(const std::string& text) { console += text; }

void SimCommand(const std::string& command)
{
    const std::string reply = sim::SendControlCommand(line->control, command);
    ASSERT_EQ(reply.substr(0, 2), "ok") << command << ": " << reply;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::remove((GetExeDir() + "comm.ini").c_str());
        SimCommand("fault none");
        console.clear();
        SetConsoleSink(&CaptureConsole);
    }
    void TearDown() override { SetConsoleSink(nullptr); }

    // Exchange with the answer's data as a vector; code receives the result.
    Bytes Ask(RS232ModbusT& link, uint8_t addr, uint8_t cmd, const Bytes& data, int32_t* code = nullptr)
    {
        const uint8_t* b = nullptr;
        const uint8_t* e = nullptr;
        const int32_t result = link.Exchange(addr, cmd, data.data(), data.data() + data.size(), &b, &e);
        if (code)
            *code = result;
        return b ? Bytes(b, e) : Bytes();
    }

    // The exception an exchange throws: its type and message.
    std::pair<std::string, std::string> Failure(RS232ModbusT& link, uint8_t addr, const Bytes& data)
    {
        try {
            Ask(link, addr, 3, data);
        } catch (const PMyExcpt& e) {
            return {e->TypeName(), e->Message()};
        }
        return {"", ""};
    }

    const Bytes readMask = {0x00, 0x34, 0x00, 0x01};
};

} // namespace

TEST_F(LinkTest, ReadsRegistersAndLogsTheTraffic)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteBool("Трансфер", "лагать", true);
    RS232ModbusT link;
    std::vector<std::pair<int32_t, std::string>> states;
    link.SetReportState([&](int32_t code, const std::string& text) { states.push_back({code, text}); });

    const Bytes answer = Ask(link, 1, 3, {0x00, 0x00, 0x00, 0x02});
    ASSERT_EQ(answer.size(), 5u);
    EXPECT_EQ(answer[0], 4);

    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0], std::make_pair(2, std::string("Соединение с \"COM1 9600\"....\n")));
    EXPECT_EQ(states[1], std::make_pair(2, std::string("COM1 9600")));
    EXPECT_NE(console.find("Соединение с \"COM1 9600\"....\nсоединение установлено.\n"), std::string::npos);
    EXPECT_NE(console.find("TXD: 0000\t01 03 00 00 00 02 C4 0B \n"), std::string::npos) << console;
    EXPECT_NE(console.find(" мсек\nRXD: 0000\t01 03 04 "), std::string::npos) << console;

    // The port stays open: no second connect.
    Ask(link, 1, 3, readMask);
    EXPECT_EQ(states.size(), 2u);
}

TEST_F(LinkTest, ExceptionAnswerGivesItsCodeAndTheOneByteRange)
{
    RS232ModbusT link;
    int32_t code = -1;
    const Bytes answer = Ask(link, 1, 3, {0x01, 0x00, 0x00, 0x01}, &code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(answer, Bytes{0x02});
}

TEST_F(LinkTest, EachFaultFailsItsCheckWithItsText)
{
    const struct {
        const char* fault;
        const char* type;
        const char* message;
    } cases[] = {
        {"silent", "MyTransferNoAnswerException", "Прибор 1: не отвечает"},
        {"short 3", "MyTransferAnswerLengthMismatchException",
         "Прибор 1: длина принятой строки [1, 3, 2] равна 3, должна быть не менее 4."},
        {"wrong-address", "MyTransferAnswerAdressMismatchException",
         "Прибор 1: несовпадение адрессов посылки $01 и принятой строки $02"},
        {"wrong-function", "MyTransferAnswerCommandCodeMismatchException",
         "Прибор 1: несовпадение кодов комманд"},
        {"bad-crc", "MyTransferBadCRC16Exception", "Прибор 1: ненулевая контрольная сумма принятой строки"},
    };
    RS232ModbusT link;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimCommand(std::string("fault ") + c.fault);
        const auto failure = Failure(link, 1, readMask);
        EXPECT_EQ(failure.first, c.type);
        EXPECT_EQ(failure.second, c.message);
    }
    SimCommand("fault none");
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u);
}

// The bytes the simulator has written to the line so far.
uint64_t SimBytesSent()
{
    const std::string reply = sim::SendControlCommand(line->control, "counts");
    const auto at = reply.find(" bytes-sent ");
    return at == std::string::npos ? 0 : std::stoull(reply.substr(at + 12));
}

// True once the simulator has sent n bytes in all; false after five seconds.
bool SimHasSent(uint64_t n)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (SimBytesSent() < n) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The gaps between the pieces of an answer lie far on either side of the
// answer-end silence set here, so that a late wake-up of either process on
// a busy machine does not move a gap across it.
TEST_F(LinkTest, PiecesWithShortGapsMakeOneAnswer)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 60);
    RS232ModbusT link;
    SimCommand("fault split 2 4");
    const Bytes answer = Ask(link, 1, 3, {0x00, 0x40, 0x00, 0x02});
    EXPECT_EQ(answer.size(), 5u);
}

TEST_F(LinkTest, LongGapEndsTheAnswerAfterItsFirstPiece)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 20);
    RS232ModbusT link;
    Ask(link, 1, 3, readMask); // connected outside the case
    const uint64_t sent = SimBytesSent();
    SimCommand("fault split 150 2 times 1");
    const auto failure = Failure(link, 1, readMask);
    EXPECT_EQ(failure.first, "MyTransferBadCRC16Exception");
    EXPECT_EQ(failure.second, "Прибор 1: ненулевая контрольная сумма принятой строки");

    // The simulator did send the whole answer (7 bytes): the link gave up
    // on the rest, which the next exchange's purge throws away.
    ASSERT_TRUE(SimHasSent(sent + 7));
    EXPECT_EQ(SimBytesSent(), sent + 7);
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u);
}

// ---- Progress of a long answer --------------------------------------------------

// The archive comes paced at 9600 baud, some ten seconds; meanwhile another
// thread reads the progress, as the wait window does.
TEST_F(LinkTest, ArchiveProgressGrowsAsTheBytesComeAndEndsAtTheWholeAnswer)
{
    // The simulator paces with sleeps, which a busy machine stretches: a
    // long silence keeps the answer in one piece.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    RS232ModbusT link;
    const auto progress = link.Progress();
    EXPECT_EQ(progress->ByteTimeUs(), 1042u) << "10 bits at 9600 baud, known before any exchange";
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u);
    const AnswerProgress::State before = progress->Now();
    EXPECT_EQ(before.commandCode, 3);
    EXPECT_EQ(before.expected, 7u);
    EXPECT_EQ(before.received, 7u);

    std::atomic<bool> done{false};
    Bytes archive;
    std::string failure;
    std::thread worker([&] {
        try {
            archive = Ask(link, 1, 0x41, {});
        } catch (const PMyExcpt& e) {
            failure = e->Message();
        }
        done = true;
    });
    std::vector<uint32_t> seen;
    bool oneAnswer = true;
    while (!done) {
        const AnswerProgress::State s = progress->Now();
        if (s.exchange != before.exchange) {
            oneAnswer = oneAnswer && s.exchange == before.exchange + 1 && s.commandCode == 0x41 && s.expected == 9804;
            if (seen.empty() || seen.back() != s.received)
                seen.push_back(s.received);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    ASSERT_EQ(failure, "");
    EXPECT_EQ(archive.size(), 9800u);
    EXPECT_TRUE(oneAnswer);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.size(), 10u) << "reported as the bytes came, not once at the end";
    EXPECT_EQ(progress->Now().received, 9804u);
}

// ---- How an answer ends -------------------------------------------------------

typedef RS232ModbusT::AnswerEnd End;

// The link with a silence time long enough that an answer ended by its
// length and one ended by silence cannot be mistaken for each other.
class AnswerEndTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        my::IniFile ini(GetExeDir() + "comm.ini");
        ini.WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 30);
        ini.WriteInteger("Трансфер", "Задержка_записи_мсек", 0);
        ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 300);
        ini.WriteBool("Трансфер", "лагать", true);
    }
    // The simulator's request and byte counts.
    std::string SimCounts() const
    {
        const std::string reply = sim::SendControlCommand(line->control, "counts");
        return reply.substr(0, reply.find(" ignored"));
    }
    void EndAtLength(bool on) { my::IniFile(GetExeDir() + "comm.ini").WriteBool("Трансфер", "конец_ответа_по_длине", on); }

    // The answer bytes the last exchange logged.
    std::string LastRxd() const
    {
        const auto at = console.rfind("RXD: 0000\t");
        return at == std::string::npos ? std::string() : console.substr(at + 10, console.find('\n', at) - at - 10);
    }
};

const Bytes kCommand = {0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

struct FrameKind {
    const char* name;
    uint8_t function;
    Bytes data;
    size_t answerData; // bytes between function code and CRC
    int32_t code;      // the exception code Exchange returns
};

void PrintTo(const FrameKind& k, std::ostream* os) { *os << k.name; }

class AnswerEndsAtItsLength : public AnswerEndTest, public ::testing::WithParamInterface<FrameKind> {};

TEST_P(AnswerEndsAtItsLength, WithTheRuleOnAndBySilenceWithItOff)
{
    const FrameKind& k = GetParam();
    for (bool rule : {true, false}) {
        SCOPED_TRACE(rule ? "rule on" : "rule off");
        EndAtLength(rule);
        RS232ModbusT link;
        int32_t code = -1;
        EXPECT_EQ(Ask(link, 1, k.function, k.data, &code).size(), k.answerData);
        EXPECT_EQ(code, k.code);
        EXPECT_EQ(link.LastAnswerEnd(), rule ? End::Length : End::Silence);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, AnswerEndsAtItsLength,
    ::testing::Values(FrameKind{"Read1", 3, {0x00, 0x34, 0x00, 0x01}, 3, 0},
                      FrameKind{"Read2", 3, {0x00, 0x00, 0x00, 0x02}, 5, 0},
                      FrameKind{"Exception", 3, {0x01, 0x00, 0x00, 0x01}, 1, 2},
                      FrameKind{"Command", 0x16, kCommand, 4, 0}),
    [](const ::testing::TestParamInfo<FrameKind>& info) { return std::string(info.param.name); });

TEST_F(AnswerEndTest, FaultyAnswersEndBySilenceAndAreReported)
{
    const struct {
        const char* fault;
        const char* type;
    } cases[] = {
        {"bad-crc", "MyTransferBadCRC16Exception"},
        {"wrong-address", "MyTransferAnswerAdressMismatchException"},
        {"wrong-function", "MyTransferAnswerCommandCodeMismatchException"},
        // The second piece comes after the silence time: the answer ends
        // with the first.
        {"split 80 2", "MyTransferBadCRC16Exception"},
    };
    // Time for the rest of a split answer to arrive before the next purge.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "Задержка_записи_мсек", 150);
    RS232ModbusT link;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimCommand(std::string("fault ") + c.fault + " once");
        EXPECT_EQ(Failure(link, 1, readMask).first, c.type);
        EXPECT_EQ(link.LastAnswerEnd(), End::Silence);
    }
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u);
}

TEST_F(AnswerEndTest, PiecesWithShortGapsStillJoin)
{
    for (bool rule : {true, false}) {
        SCOPED_TRACE(rule ? "rule on" : "rule off");
        EndAtLength(rule);
        RS232ModbusT link;
        SimCommand("fault split 2 4 once");
        EXPECT_EQ(Ask(link, 1, 3, {0x00, 0x40, 0x00, 0x02}).size(), 5u);
        EXPECT_EQ(link.LastAnswerEnd(), rule ? End::Length : End::Silence);
    }
}

// A line that never falls silent for the silence time: the answer ends at
// the first byte beyond the largest frame the request can produce (7 bytes
// for one register),
// is reported, and polling comes back once the line is quiet again.
TEST_F(AnswerEndTest, EndlessAnswerEndsAtTheLongestFrameAndPollingRecovers)
{
    RS232ModbusT link;
    SimCommand("fault babble 2 400 once");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Failure(link, 1, readMask).first, "MyTransferAnswerAdressMismatchException");
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(link.LastAnswerEnd(), End::Longest);
    EXPECT_EQ(LastRxd(), "00 01 02 03 04 05 06 07 ");
    // The babble lasts over a second; without the limit the exchange would last as long.
    EXPECT_LT(took, std::chrono::milliseconds(1000));

    Bytes answer;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (answer.empty() && std::chrono::steady_clock::now() < giveUp) {
        try {
            answer = Ask(link, 1, 3, readMask);
        } catch (const PMyExcpt&) {
        }
    }
    EXPECT_EQ(answer.size(), 3u);
}

// An archive stopped part-way goes on coming for seconds. The next request
// waits for the line to fall quiet, so it is neither lost in the rest of the
// archive nor answered by it.
TEST_F(AnswerEndTest, TheRestOfAStoppedArchiveIsLetPassBeforeTheNextRequest)
{
    // The simulator paces with sleeps, which a busy machine stretches: a
    // long silence keeps the archive's bytes one stream.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 150);
    RS232ModbusT link;
    std::atomic<bool> stop{false};
    link.SetStopRequested([&] { return stop.load(); });
    const auto progress = link.Progress();
    std::thread stopper([&] {
        // Some two seconds before the archive's end; a failed archive must
        // not leave the thread waiting for ever.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((progress->Now().commandCode != 0x41 || progress->Now().received < 7800) &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
    });
    EXPECT_TRUE(Ask(link, 1, 0x41, {}).empty());
    stopper.join();
    EXPECT_EQ(link.LastAnswerEnd(), End::Stopped);

    stop = false;
    console.clear();
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u) << console;
    EXPECT_NE(console.find("Сброшено байт до запроса: "), std::string::npos) << console;
}

// A request the link knows no length for may get up to 256 bytes; a slow
// babble ends at the answer timeout plus that frame's line time instead.
TEST_F(AnswerEndTest, EndlessAnswerOfAnUnknownFunctionEndsAtTheDeadline)
{
    RS232ModbusT link;
    SimCommand("fault babble 8 1000 once");
    EXPECT_THROW(Ask(link, 1, 0x04, readMask), PMyExcpt);
    EXPECT_EQ(link.LastAnswerEnd(), End::Deadline);
    EXPECT_NE(console.find("!!ТАЙМАУТ!!\n"), std::string::npos);
}

TEST_F(AnswerEndTest, StopDuringTheWriteDelayWritesNothing)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "Задержка_записи_мсек", 200);
    RS232ModbusT link;
    bool stop = false;
    link.SetStopRequested([&] { return stop; });
    link.SetStopWait([&](uint32_t) { stop = true; });
    const std::string before = SimCounts();
    int32_t code = -1;
    EXPECT_TRUE(Ask(link, 1, 0x16, kCommand, &code).empty());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(console.find("TXD:"), std::string::npos) << console;
    EXPECT_EQ(SimCounts(), before);
    EXPECT_EQ(link.LastAnswerEnd(), End::None);
}

// A stop that comes once the request is on the line: a reading is dropped,
// but a command's answer is still awaited and checked, so that its sender
// knows the instrument carried it out.
TEST_F(AnswerEndTest, StopAfterTheWriteDropsAReadingButNotACommandsAnswer)
{
    const struct {
        const char* name;
        uint8_t function;
        Bytes data;
        size_t answerData; // 0: dropped
    } cases[] = {// The reading's answer still comes after the stop: it goes last, so
                 // that its bytes cannot meet the command's request.
                 {"command", 0x16, kCommand, 4},
                 {"reading", 3, readMask, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RS232ModbusT link;
        // Asked before the write delay and after it; from then on a stop is
        // in force.
        int asked = 0;
        link.SetStopRequested([&] { return ++asked > 2; });
        link.SetStopWait([](uint32_t) {});
        EXPECT_EQ(Ask(link, 1, c.function, c.data).size(), c.answerData);
        EXPECT_EQ(link.LastAnswerEnd(), c.answerData ? End::Length : End::Stopped);
    }
}

TEST_F(LinkTest, SilentInstrumentIsReportedAfterTheTimeoutWithTheLog)
{
    my::IniFile ini(GetExeDir() + "comm.ini");
    ini.WriteBool("Трансфер", "лагать", true);
    ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 300);
    RS232ModbusT link;
    const auto failure = Failure(link, 7, readMask); // nobody at address 7
    EXPECT_EQ(failure.second, "Прибор 7: не отвечает");
    EXPECT_NE(console.find(" мсек\n!!ТАЙМАУТ!!\nНет ответа!\n"), std::string::npos) << console;
}

TEST_F(LinkTest, BroadcastIsSentAndNotRead)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteBool("Трансфер", "лагать", true);
    RS232ModbusT link;
    const Bytes zero = {0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    int32_t code = -1;
    EXPECT_TRUE(Ask(link, 0, 0x16, zero, &code).empty());
    EXPECT_EQ(code, 0);
    EXPECT_NE(console.find("TXD: 0000\t00 16 00 20"), std::string::npos) << console;
    // No wait for an answer was logged.
    EXPECT_EQ(console.find("мсек"), std::string::npos) << console;
}

TEST_F(LinkTest, DroppedLineIsAPortErrorAndTheNextExchangeReconnects)
{
    RS232ModbusT link;
    int connects = 0;
    link.SetReportState([&](int32_t, const std::string& text) { connects += text.rfind("Соединение", 0) == 0; });
    Ask(link, 1, 3, readMask);
    ASSERT_EQ(connects, 1);

    SimCommand("fault drop 300");
    try {
        Ask(link, 1, 3, readMask);
        FAIL() << "no failure on a dropped line";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(InnermostException(e.get())->Where().file, "CommUtils.cpp") << FormatExceptionChain(e.get());
    }
    link.ClosePort(); // as the engine does after a port-layer error

    // Until the line is back, opening fails after its pause; then it works.
    Bytes answer;
    for (int attempt = 0; attempt < 20 && answer.empty(); ++attempt) {
        try {
            answer = Ask(link, 1, 3, readMask);
        } catch (const PMyExcpt&) {
        }
    }
    EXPECT_EQ(answer.size(), 3u);
    EXPECT_GE(connects, 2);
    EXPECT_NE(console.rfind("соединение установлено.\n"), std::string::npos);
}

// The configured port is not there when the link starts: the cause is
// explained once however often the opening is retried, and the line is used
// as soon as it appears under its mapped name, without a restart.
TEST_F(LinkTest, ALineThatAppearsLaterIsUsedAndItsAbsenceIsExplainedOnce)
{
    const std::string later = line->dir.File("later");
    ScopedEnv com2("KALIST8_COM2", later);
    my::IniFile(GetExeDir() + "comm.ini").WriteString("COMPORT", "Порт", "2");
    RS232ModbusT link;
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(Failure(link, 1, readMask).second, "Ошибка при инициализации COM2 9600");
    const std::string advice = "COM2: устройства " + later +
                               " нет (адаптер отключён); программа ждёт его появления под этим именем и возобновит "
                               "опрос сама\n";
    const auto first = console.find(advice);
    EXPECT_NE(first, std::string::npos) << console;
    EXPECT_EQ(console.find(advice, first + 1), std::string::npos) << console;

    ASSERT_EQ(symlink(line->link.c_str(), later.c_str()), 0);
    EXPECT_EQ(Ask(link, 1, 3, readMask).size(), 3u);
    link.ClosePort();
    unlink(later.c_str());
}

TEST_F(LinkTest, TheSettingsDialogOffersAPortPluggedInSinceTheStart)
{
    my::Comm::RescanPresentPorts(); // as at a start without it
    const std::string plugged = line->dir.File("plugged");
    ScopedEnv com3("KALIST8_COM3", plugged);
    ASSERT_EQ(symlink(line->link.c_str(), plugged.c_str()), 0);
    ASSERT_FALSE(my::Comm::IsPortPresent(3));
    std::vector<unsigned> offered;
    SetPortSettingsDialog([&](PortDialogValues& v) {
        offered = v.presentPorts;
        return false;
    });
    RS232ModbusT link;
    link.ShowSettingsDialog();
    SetPortSettingsDialog(nullptr);
    unlink(plugged.c_str());
    EXPECT_EQ(offered, (std::vector<unsigned>{1, 3}));
}

TEST_F(LinkTest, SettingsComeFromCommIniWithinTheirRangesAndGoBack)
{
    const std::string path = GetExeDir() + "comm.ini";
    {
        my::IniFile ini(path);
        ini.WriteString("COMPORT", "Порт", "12");
        ini.WriteInteger("COMPORT", "BaudRate", 19200);
        ini.WriteInteger("COMPORT", "ByteSize", 7);
        ini.WriteString("Трансфер", "Задержка_записи_мсек", "200001");
        ini.WriteString("Трансфер", "таймаут_ожидания_ответа_мсек", "abc");
        ini.WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 5);
        ini.WriteString("Трансфер", "лагать", "7");
        RS232ModbusT link;
    }
    const my::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("COMPORT", "Порт", 0), 1);
    EXPECT_EQ(ini.ReadInteger("COMPORT", "BaudRate", 0), 9600);
    EXPECT_EQ(ini.ReadInteger("COMPORT", "ByteSize", 0), 7);
    EXPECT_EQ(ini.ReadInteger("COMPORT", "rxdBuffSize", 0), 1024);
    EXPECT_EQ(ini.ReadInteger("Трансфер", "Задержка_записи_мсек", 0), 50);
    EXPECT_EQ(ini.ReadInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 0), 1000);
    EXPECT_EQ(ini.ReadInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 0), 5);
    EXPECT_EQ(ini.ReadString("Трансфер", "лагать", ""), "1");
    EXPECT_EQ(ini.ReadString("Трансфер", "конец_ответа_по_длине", ""), "1");
}

// The start takes port 3's record from its section; it has no business
// writing the built-in record over a COM1 section tuned by hand.
TEST_F(LinkTest, StartWithAnotherPortLeavesTheCom1SectionAlone)
{
    const std::string portSets = my::Comm::PortSetsFilePath();
    {
        EnsureUserConfigDir();
        my::IniFile sets(portSets);
        sets.WriteInteger("COM1", "BaudRate", 19200);
        sets.WriteInteger("COM1", "fRtsControl", 3);
        sets.WriteInteger("COM3", "BaudRate", 4800);
    }
    const std::string before = ReadBytes(portSets);
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("COMPORT", "Порт", 3);
    {
        RS232ModbusT link;
    }
    EXPECT_EQ(ReadBytes(portSets), before);
    EXPECT_EQ(my::IniFile(GetExeDir() + "comm.ini").ReadInteger("COMPORT", "Порт", 0), 3);
    std::remove(portSets.c_str());
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Line theLine;
    line = &theLine;
    ScopedEnv config("XDG_CONFIG_HOME", theLine.dir.File("config"));
    theLine.sim = std::make_unique<sim::SimProcess>(
        KALIST8_SIM_EXE,
        std::vector<std::string>{"--link", theLine.link, "--control", theLine.control, "--mask", "0x0007",
                                 "--seed", "3", "--latency", "2"},
        theLine.dir.Path());
    if (!theLine.sim->WaitForLine()) {
        std::fprintf(stderr, "the simulator did not start: %s\n", theLine.sim->Errors().c_str());
        return 1;
    }
    ScopedEnv com1("KALIST8_COM1", theLine.link);
    const int rc = RUN_ALL_TESTS();
    theLine.sim->Stop(SIGTERM);
    return rc;
}
