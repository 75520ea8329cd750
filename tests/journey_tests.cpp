// Journeys of a user with kalist8 from start to shutdown: the real program
// in a portable folder with its catalogue, the instrument simulator on a
// pseudo-terminal as COM1, the traffic log on, the offscreen platform. The
// simulator's control socket plays the things that go wrong in a workshop:
// a pulled cable, a silent instrument, a noisy line, a port someone else
// holds. What the program did is read from its console, which it mirrors
// to standard output, and from the simulator's counts.
//
// Two copies started at once are program_tests.cpp's
// SecondCopyOnlyShowsItsBoxAndLeavesTheFirstAlone.
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "ProgramTestSupport.h"
#include "TestUtils.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace program_test;

const std::string CONNECTING = "Соединение с \"";
const std::string CONNECTED = "соединение установлено.\n";
const std::string ERROR_LINE = "Ошибка - ";
const std::string NO_ANSWER = "Ошибка - Прибор 1: не отвечает\n";
// Requests and answers as the traffic log shows them: the channel mask
// (register 52), a channel's value (registers 2n, 2n+1).
const std::string MASK_REQUEST = "TXD: 0000\t01 03 00 34 00 01 ";
const std::string MASK_ANSWER = "RXD: 0000\t01 03 02 00 07 ";
const std::string VALUE_ANSWER = "RXD: 0000\t01 03 04 ";

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    for (auto pos = text.find(prefix); pos != std::string::npos; pos = text.find(prefix, pos + 1)) {
        if (pos != 0 && text[pos - 1] != '\n')
            continue;
        lines.push_back(text.substr(pos, text.find('\n', pos) - pos));
    }
    return lines;
}

// Resident memory of a process in kB; 0 once it is gone.
long RssKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Where the first sound answer to a channel read is logged after from: a
// row of exactly its nine bytes that no error report follows.
size_t FirstSoundValueAnswer(const std::string& out, size_t from)
{
    const size_t soundLength = std::string("RXD: 0000\t").size() + 9 * 3;
    for (size_t pos = out.find(VALUE_ANSWER, from); pos != std::string::npos; pos = out.find(VALUE_ANSWER, pos + 1)) {
        const size_t end = out.find('\n', pos);
        if (end == std::string::npos)
            return std::string::npos;
        if (end - pos == soundLength && out.compare(end + 1, ERROR_LINE.size(), ERROR_LINE) != 0)
            return pos;
    }
    return std::string::npos;
}

// What the user gets in a file the program writes: Windows-1251 with CRLF,
// no UTF-8 Cyrillic.
::testing::AssertionResult IsWindowsText(const std::string& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return ::testing::AssertionFailure() << "a bare LF at " << i;
        const auto c = static_cast<unsigned char>(bytes[i]);
        const auto next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if ((c == 0xD0 || c == 0xD1) && next >= 0x80 && next <= 0xBF)
            return ::testing::AssertionFailure() << "UTF-8 Cyrillic at " << i;
    }
    return ::testing::AssertionSuccess();
}

// The program folder with the traffic log switched on and the simulator,
// one instrument at address 1 with channels 0 to 2, on its COM1 line.
class Journey : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallProgram(program_);
        fs::create_directories(config_);
        // An answer-end silence a busy machine cannot break up an answer
        // with: the journeys are about what the user sees, the link's own
        // timing has tests of its own.
        WriteBytes(ProgramFile("comm.ini"),
                   WinText("[Трансфер]\nлагать=1\nдлительность_ожидания_символа_приёма_мсек=50\n"));
        sim_.reset(new sim::SimProcess(
            SimulatorExe(), {"--link", Line(), "--control", Control(), "--mask", "0x0007", "--latency", "1"}, dir_.Path()));
        ASSERT_TRUE(sim_->WaitForLine()) << sim_->Errors();
    }

    std::string Line() const { return dir_.File("ttyK8"); }
    std::string Control() const { return dir_.File("sim.ctl"); }
    std::string ProgramFile(const std::string& name) const { return program_ + name; }

    std::unique_ptr<Program> Start()
    {
        auto program = std::make_unique<Program>(program_ + ProgramName(),
                                                 std::map<std::string, std::string>{{"KALIST8_COM1", Line()},
                                                                                    {"QT_QPA_PLATFORM", "offscreen"},
                                                                                    {"XDG_CONFIG_HOME", config_}},
                                                 dir_.File("kalist8"));
        EXPECT_TRUE(program->Started());
        return program;
    }

    ::testing::AssertionResult Command(const std::string& command) const
    {
        const std::string reply = sim::SendControlCommand(Control(), command);
        if (reply.rfind("ok", 0) == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << command << ": " << reply;
    }

    // One of the simulator's counts ("requests", "answers", "faults", ...).
    unsigned long SimCount(const std::string& name) const
    {
        const std::string reply = " " + sim::SendControlCommand(Control(), "counts");
        const auto pos = reply.find(" " + name + " ");
        return pos == std::string::npos ? 0 : std::stoul(reply.substr(pos + name.size() + 2));
    }

    // The simulator reports no fault in force any more.
    bool FaultsAreOver() const
    {
        return WaitFor([&] { return sim::SendControlCommand(Control(), "fault") == "ok fault none"; }, 60);
    }

    // Sound answers keep coming: the program polls again.
    ::testing::AssertionResult Polls(Program& p, unsigned long answers = 20)
    {
        const unsigned long beyond = SimCount("answers");
        if (WaitFor([&] { return SimCount("answers") >= beyond + answers || !p.Running(); }, 60) && p.Running())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "answers: " << SimCount("answers") << " from " << beyond << "\n"
                                             << p.Report();
    }

    // Waits for text in the console after offset from; its position or npos.
    size_t WaitForOutput(Program& p, const std::string& text, size_t from, double seconds = 30)
    {
        size_t pos = std::string::npos;
        WaitFor(
            [&] {
                pos = p.Out().find(text, from);
                return pos != std::string::npos || !p.Running();
            },
            seconds);
        return pos;
    }

    ::testing::AssertionResult EndsWithTerm(Program& p)
    {
        if (!p.Signal(SIGTERM))
            return ::testing::AssertionFailure() << "the program was gone before SIGTERM\n" << p.Report();
        const int status = p.Wait(60);
        if (ExitedWithZero(status))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "wait status " << status << "\n" << p.Report();
    }

    TempDir dir_;
    const std::string program_ = dir_.File("program/");
    const std::string config_ = dir_.File("config/");
    std::unique_ptr<sim::SimProcess> sim_;
};

// A desktop session ends the program with SIGTERM, a closed terminal with
// SIGHUP: either is the orderly shutdown "Выход" makes.
class JourneyEndedBySignal : public Journey, public ::testing::WithParamInterface<int> {};

TEST_P(JourneyEndedBySignal, PollsTheChannelsThenLeavesWindowsFilesAndTheLogArchive)
{
    const auto program = Start();
    ASSERT_TRUE(Polls(*program));

    // The channel list came from the instrument: its mask, then the
    // descriptor of each of its three channels, then their values, again
    // and again.
    const std::string out = program->Out();
    EXPECT_TRUE(Contains(out, CONNECTED)) << out;
    const auto mask = out.find(MASK_ANSWER, out.find(MASK_REQUEST));
    ASSERT_NE(mask, std::string::npos) << out;
    for (const char* descriptor : {"00 40 00 02 ", "00 4A 00 02 ", "00 54 00 02 "})
        EXPECT_NE(out.find(std::string("TXD: 0000\t01 03 ") + descriptor, mask), std::string::npos) << descriptor;
    for (const char* value : {"00 00 00 02 ", "00 02 00 02 ", "00 04 00 02 "})
        EXPECT_NE(out.find(std::string("TXD: 0000\t01 03 ") + value, mask), std::string::npos) << value;
    EXPECT_GE(Count(out, VALUE_ANSWER), 3u) << out;
    EXPECT_EQ(Count(out, ERROR_LINE), 0u) << out;
    EXPECT_GE(SimCount("function-0x03"), 20u);
    EXPECT_EQ(SimCount("faults"), 0u);

    ASSERT_TRUE(program->Signal(GetParam()));
    const int status = program->Wait(60);
    ASSERT_TRUE(ExitedWithZero(status)) << status << "\n" << program->Report();

    // The settings, every column of the three channels included.
    const std::map<std::string, std::vector<std::string>> expected = {
        {"form1.ini",
         {"[FORM1]\n", "rcNormalPosition.left=", "[STATUS_PANEL]\n0=50\n1=50\n2=50\n3=", "[ширина столбца]\n0=350\n1=",
          "\n3="}},
        {"config.ini", {"[MAIN]\nАдрес=1\n", "[Трансфер]\nприоритет_второго_потока="}},
        {"comm.ini", {"[COMPORT]\n", "[Трансфер]\n", "лагать=1\n"}}};
    for (const auto& [name, texts] : expected) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadBytes(ProgramFile(name));
        EXPECT_TRUE(IsWindowsText(bytes)) << bytes;
        for (const std::string& text : texts)
            EXPECT_TRUE(Contains(bytes, WinText(text))) << text << " in\n" << bytes;
    }

    // The console went to the original standard output as well, in the
    // order of the start and the shutdown.
    const std::string all = program->Out();
    const auto activated = all.find("Form1->FormActivate.\n");
    const auto stopped = all.rfind("Опрос остановлен.\n");
    EXPECT_NE(activated, std::string::npos) << all;
    EXPECT_NE(stopped, std::string::npos) << all;
    EXPECT_LT(activated, stopped);
    // The bus statistics close the log: a row for the polled address.
    const auto stats = all.rfind("Статистика связи:\nАдрес\t");
    ASSERT_NE(stats, std::string::npos) << all;
    EXPECT_LT(stopped, stats);
    EXPECT_TRUE(Contains(all.substr(stats), "\n1\t")) << all.substr(stats);

    // The whole session, traffic included, is in the archive.
    const std::string logDir = ProgramFile("Log/");
    ASSERT_EQ(Names(logDir), std::set<std::string>{"log.rar"}) << "is 7-Zip (Debian package 7zip) there?";
    std::string log, err;
    ASSERT_TRUE(ExitedWithZero(sim::RunProgram("7zz", {"e", "-so", logDir + "log.rar"}, dir_.Path(), &log, &err)))
        << err;
    EXPECT_TRUE(IsWindowsText(log));
    EXPECT_TRUE(Contains(log, WinText("GUI CON initialized.\n"))) << log;
    EXPECT_TRUE(Contains(log, WinText(CONNECTED))) << log;
    EXPECT_TRUE(Contains(log, MASK_ANSWER)) << log;
    EXPECT_TRUE(Contains(log, WinText("Опрос остановлен.\n"))) << log;
}

INSTANTIATE_TEST_SUITE_P(Signals, JourneyEndedBySignal, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGHUP");
                         });

TEST_F(Journey, LineDropIsReportedAndPollingResumesWithoutRestart)
{
    const auto program = Start();
    ASSERT_TRUE(Polls(*program));

    const size_t from = program->Out().size();
    const size_t simFrom = sim_->Output().size();
    ASSERT_TRUE(Command("drop 1500"));
    ASSERT_TRUE(sim_->WaitForOutput("line up ", 30, simFrom)) << sim_->Output();
    const size_t connected = WaitForOutput(*program, CONNECTED, from);
    ASSERT_NE(connected, std::string::npos) << program->Report();
    ASSERT_TRUE(Polls(*program));

    // The port's own failure came first, then the program connected again
    // by itself, the same process all along.
    const std::string out = program->Out();
    const auto error = out.find(ERROR_LINE, from);
    ASSERT_NE(error, std::string::npos) << out.substr(from);
    const std::string firstError = out.substr(error, out.find('\n', error) - error);
    EXPECT_FALSE(Contains(firstError, "Прибор")) << "not the port's failure: " << firstError;
    const auto connecting = out.rfind(CONNECTING, connected);
    ASSERT_NE(connecting, std::string::npos);
    EXPECT_LT(error, connecting) << out.substr(from);
    EXPECT_LT(from, connecting);
    EXPECT_EQ(SimCount("line-drops"), 1u);
    EXPECT_TRUE(EndsWithTerm(*program));
}

TEST_F(Journey, SilentInstrumentIsReportedEveryFewSecondsThenValuesReturn)
{
    const auto program = Start();
    ASSERT_TRUE(Polls(*program));

    const size_t from = program->Out().size();
    const auto silenceStart = Clock::now();
    ASSERT_TRUE(Command("fault silent"));
    // Two reports, so that the second shows the pace of the repeats.
    ASSERT_TRUE(WaitFor([&] { return Count(program->Out().substr(from), NO_ANSWER) >= 2 || !program->Running(); }, 60))
        << program->Report();
    ASSERT_TRUE(Command("fault none"));
    const size_t spoken = program->Out().size();
    ASSERT_TRUE(Polls(*program, 10));
    const double silentSeconds = std::chrono::duration<double>(Clock::now() - silenceStart).count();

    // An unanswered request costs the answer timeout (1 s) and the pause
    // after an error (1 s): a report every two seconds or so, never a
    // flood, never more than one a second.
    const std::string out = program->Out();
    const size_t reports = Count(out.substr(from), NO_ANSWER);
    EXPECT_GE(reports, 1u) << out.substr(from);
    EXPECT_LE(reports, static_cast<size_t>(silentSeconds) + 1) << out.substr(from);
    EXPECT_EQ(Count(out.substr(from), ERROR_LINE), reports) << out.substr(from);
    EXPECT_TRUE(Contains(out.substr(from), "Нет ответа!\n"));
    EXPECT_NE(out.find(VALUE_ANSWER, spoken), std::string::npos) << out.substr(spoken);
    EXPECT_TRUE(EndsWithTerm(*program));
}

TEST_F(Journey, GarbageFromTheInstrumentIsReportedAndPollingRecovers)
{
    const auto program = Start();
    ASSERT_TRUE(Polls(*program));

    struct Case {
        const char* fault;
        const char* message;
    };
    const Case cases[] = {
        {"bad-crc", "ненулевая контрольная сумма принятой строки"},
        {"wrong-address", "несовпадение адрессов посылки $01 и принятой строки $02"},
        {"wrong-function", "несовпадение кодов комманд"},
        {"short 2", "длина принятой строки [1, 3] равна 2, должна быть не менее 4."},
        {"silent", "не отвечает"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const size_t from = program->Out().size();
        ASSERT_TRUE(Command(std::string("fault ") + c.fault + " once"));
        const std::string report = ERROR_LINE + "Прибор 1: " + c.message + "\n";
        EXPECT_NE(WaitForOutput(*program, report, from), std::string::npos) << program->Out().substr(from);
        ASSERT_TRUE(Polls(*program, 5));
    }

    // A while of a random mix: whatever comes, each failure is reported as
    // a failure of the exchange and the program goes on.
    const size_t from = program->Out().size();
    const unsigned long faults = SimCount("faults");
    ASSERT_TRUE(Command("fault random 3"));
    ASSERT_TRUE(FaultsAreOver()) << program->Report();
    ASSERT_TRUE(Polls(*program));
    const unsigned long injected = SimCount("faults") - faults;
    EXPECT_GT(injected, 0u);
    const std::string during = program->Out().substr(from);
    const auto errors = LinesStartingWith(during, ERROR_LINE);
    EXPECT_FALSE(errors.empty()) << during;
    // Some faults pass unnoticed (a split answer with a short gap); none
    // makes more than its one report.
    EXPECT_LE(errors.size(), injected) << during;
    for (const std::string& line : errors) {
        const bool known = Contains(line, "Прибор 1: ") || Contains(line, "Команда 3: ");
        EXPECT_TRUE(known) << line;
    }
    EXPECT_TRUE(EndsWithTerm(*program));
}

TEST_F(Journey, BusyPortIsReportedAndPollingStartsOnceItIsFree)
{
    // Another program has the port open and locked, as kalist8 locks it.
    auto holder = std::make_unique<sim::RawTerminal>(Line());
    ASSERT_TRUE(holder->Ok());

    const auto program = Start();
    const size_t busy = WaitForOutput(*program, "COM-порт \"COM1\" занят!", 0);
    ASSERT_NE(busy, std::string::npos) << program->Report();
    ASSERT_TRUE(program->Running());
    EXPECT_EQ(SimCount("requests"), 0u);

    holder.reset();
    const size_t connected = WaitForOutput(*program, CONNECTED, busy);
    ASSERT_NE(connected, std::string::npos) << program->Report();
    ASSERT_TRUE(Polls(*program));
    EXPECT_NE(program->Out().find(MASK_ANSWER, connected), std::string::npos);
    EXPECT_TRUE(EndsWithTerm(*program));
}

} // namespace

namespace {

int NoiseSeconds()
{
    const char* text = std::getenv("KALIST8_NOISE_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 20 ? seconds : 90;
}

} // namespace

TEST_F(Journey, NoisyLineIsReportedWithFlatMemoryAndPollingRecoversWhenItEnds)
{
    const auto program = Start();
    ASSERT_TRUE(Polls(*program));

    // Ninety seconds of noise (KALIST8_NOISE_SECONDS for a longer run by
    // hand): short bursts at random moments and bursts longer than the
    // answer timeout, over requests and answers alike.
    const int noiseSeconds = NoiseSeconds();
    const size_t from = program->Out().size();
    ASSERT_TRUE(Command("fault noise " + std::to_string(noiseSeconds + 600)));
    std::this_thread::sleep_for(std::chrono::seconds(20));
    // By now the program has met every kind of garbage once; what it keeps
    // from here on would grow without end on a noisy line.
    const long rssEarly = RssKb(program->Pid());
    std::this_thread::sleep_for(std::chrono::seconds(noiseSeconds - 20));
    ASSERT_TRUE(program->Running()) << program->Report();
    const long rssLate = RssKb(program->Pid());

    const size_t quietFrom = program->Out().size();
    ASSERT_TRUE(Command("fault none"));
    const auto quiet = Clock::now();
    size_t recovered = std::string::npos;
    WaitFor(
        [&] {
            recovered = FirstSoundValueAnswer(program->Out(), quietFrom);
            return recovered != std::string::npos || !program->Running();
        },
        30);
    const double recoverySeconds = std::chrono::duration<double>(Clock::now() - quiet).count();
    ASSERT_NE(recovered, std::string::npos) << program->Out().substr(quietFrom);
    std::printf("noise: rss %ld kB after 20 s, %ld kB after %d s; first sound answer %.2f s after the noise\n",
                rssEarly, rssLate, noiseSeconds, recoverySeconds);

    const std::string during = program->Out().substr(from, quietFrom - from);
    const auto errors = LinesStartingWith(during, ERROR_LINE);
    EXPECT_GE(errors.size(), 10u) << during;
    for (const std::string& line : errors) {
        const bool known = Contains(line, "Прибор 1: ") || Contains(line, "Команда 3: ");
        EXPECT_TRUE(known) << line;
    }
    EXPECT_NE(FirstSoundValueAnswer(during, 0), std::string::npos) << "no reading got through the noise";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers keep freed memory in quarantine or shadow it: there the
    // resident size grows whatever the program does.
    EXPECT_LT(rssLate, rssEarly + 4096) << "memory grows on a noisy line";
#endif
    // An exchange the noise spoiled as it ended costs the pause after an
    // error (1 s); the exchange after it is sound. The margin is for a
    // loaded machine.
    EXPECT_LT(recoverySeconds, 3.0);
    ASSERT_TRUE(Polls(*program, 10));
    EXPECT_TRUE(EndsWithTerm(*program));
}
