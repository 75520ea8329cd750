// kalist8 as a whole, as a user runs it: a portable folder with the
// program and its catalogue, the instrument simulator on a pseudo-terminal
// as COM1, the offscreen platform in place of a display. The program is
// ended the way a desktop session ends it, with SIGTERM. A whole session,
// from the start to the settings and the log archive after SIGTERM or
// SIGHUP, is journey_tests.cpp's JourneyEndedBySignal.
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "ProgramTestSupport.h"
#include "TestUtils.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace program_test;

// The program folder with the simulator on its COM1 line.
class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallProgram(program_);
        fs::create_directories(config_);
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        sim_.reset(new sim::SimProcess(SimulatorExe(), {"--link", Line(), "--control", Control(), "--mask", "0x0007"},
                                       dir_.Path()));
        ASSERT_TRUE(sim_->WaitForLine()) << sim_->Errors();
    }

    std::string Exe() const { return program_ + ProgramName(); }
    std::string Line() const { return dir_.File("ttyK8"); }
    std::string Control() const { return dir_.File("sim.ctl"); }
    std::string ProgramFile(const std::string& name) const { return program_ + name; }

    std::unique_ptr<Program> Start(const std::string& name, int stdoutFd = -1)
    {
        return std::make_unique<Program>(Exe(),
                                         std::map<std::string, std::string>{{"KALIST8_COM1", Line()},
                                                                            {"QT_QPA_PLATFORM", "offscreen"},
                                                                            {"XDG_CONFIG_HOME", config_},
                                                                            {"XDG_RUNTIME_DIR", runtime_}},
                                         dir_.File(name), std::vector<std::string>{}, stdoutFd);
    }

    // The console text the program kept in its log archive.
    std::string LogText()
    {
        std::string log, err;
        const int unpacked = sim::RunProgram("7zz", {"e", "-so", ProgramFile("Log/log.rar")}, dir_.Path(), &log, &err);
        EXPECT_TRUE(ExitedWithZero(unpacked)) << err;
        return log;
    }

    unsigned long SimRequests() const
    {
        const std::string reply = sim::SendControlCommand(Control(), "counts");
        const auto pos = reply.find("requests ");
        return pos == std::string::npos ? 0 : std::stoul(reply.substr(pos + 9));
    }

    // Waits until the program has initialised the instrument and polls its
    // channels: the mask, three descriptors, then the readings.
    ::testing::AssertionResult PollsTheSimulator(Program& p, unsigned long beyond = 0)
    {
        if (WaitFor([&] { return SimRequests() >= beyond + 20 || !p.Running(); }, 60) && p.Running())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "requests seen: " << SimRequests() << "\n" << p.Report();
    }

    TempDir dir_;
    const std::string program_ = dir_.File("program/");
    const std::string config_ = dir_.File("config/");
    const std::string runtime_ = dir_.File("run");
    std::unique_ptr<sim::SimProcess> sim_;
};

// A "config.ini" that cannot be written (here a directory stands in its
// way) is reported in the console; the shutdown goes on: "comm.ini" is
// saved, the log archived, the exit code 0.
TEST_F(ProgramRun, ConfigIniThatCannotBeWrittenDoesNotSpoilTheShutdown)
{
    fs::create_directory(ProgramFile("config.ini"));
    const auto program = Start("kalist8");
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(PollsTheSimulator(*program));

    ASSERT_TRUE(program->Signal(SIGTERM));
    const int status = program->Wait(60);
    ASSERT_TRUE(ExitedWithZero(status)) << status << "\n" << program->Report();
    const std::string out = program->Out();
    // A directory in its place can be neither read nor replaced.
    EXPECT_TRUE(Contains(out, "IniFile.cpp") && Contains(out, ProgramFile("config.ini"))) << out;
    EXPECT_FALSE(Contains(out, "Исключение!")) << out;
    EXPECT_TRUE(Contains(ReadBytes(ProgramFile("comm.ini")), WinText("[COMPORT]\n")));
    EXPECT_EQ(Names(ProgramFile("Log/")), std::set<std::string>{"log.rar"});
}

TEST_F(ProgramRun, SecondCopyOnlyShowsItsBoxAndLeavesTheFirstAlone)
{
    const auto first = Start("first");
    ASSERT_TRUE(first->Started());
    ASSERT_TRUE(PollsTheSimulator(*first));

    std::map<std::string, std::string> before;
    for (const std::string& name : Names(program_))
        if (fs::is_regular_file(ProgramFile(name)))
            before[name] = ReadBytes(ProgramFile(name));

    const auto second = Start("second");
    ASSERT_TRUE(second->Started());
    // Its handler goes in just before the box opens; the box's own loop
    // then takes the signal, and closing the box ends the program.
    ASSERT_TRUE(WaitFor([&] { return second->Catches(SIGTERM) || !second->Running(); }, 30)) << second->Report();
    ASSERT_TRUE(second->Running()) << "the second copy ended without waiting for its box\n" << second->Report();
    ASSERT_TRUE(second->Signal(SIGTERM));
    const int status = second->Wait(30);
    EXPECT_TRUE(ExitedWithZero(status)) << status << "\n" << second->Report();
    // No console, no engine: nothing was written.
    EXPECT_EQ(second->Out(), "");

    std::map<std::string, std::string> after;
    for (const std::string& name : Names(program_))
        if (fs::is_regular_file(ProgramFile(name)))
            after[name] = ReadBytes(ProgramFile(name));
    EXPECT_TRUE(before == after) << "the program folder changed";

    // The first goes on polling and ends as usual.
    const unsigned long seen = SimRequests();
    ASSERT_TRUE(PollsTheSimulator(*first, seen));
    ASSERT_TRUE(first->Signal(SIGTERM));
    EXPECT_TRUE(ExitedWithZero(first->Wait(60))) << first->Report();
}

// A double click on a desktop that opens with a single one: two starts at
// the same moment. Each round, exactly one of them runs; the other shows its
// box and has started nothing.
TEST_F(ProgramRun, OfTwoSimultaneousStartsExactlyOneRuns)
{
    const std::string activated = "Form1->FormActivate.\n";
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<Program> both[2] = {Start("a" + std::to_string(round)), Start("b" + std::to_string(round))};
        ASSERT_TRUE(both[0]->Started() && both[1]->Started());
        const auto runs = [&](int i) { return Contains(both[i]->Out(), activated); };
        // The box's handler goes in just before the box opens.
        ASSERT_TRUE(WaitFor(
            [&] { return (runs(0) || runs(1)) && both[0]->Catches(SIGTERM) && both[1]->Catches(SIGTERM); }, 60))
            << "round " << round << ": nothing runs\n" << both[0]->Report() << "\n" << both[1]->Report();
        const int runner = runs(0) ? 0 : 1;
        const int other = 1 - runner;
        EXPECT_FALSE(runs(other)) << "round " << round << ": both run";
        EXPECT_TRUE(both[other]->Running()) << "round " << round << ": no box\n" << both[other]->Report();
        EXPECT_EQ(both[other]->Out(), "") << "round " << round;
        for (auto& p : both) {
            ASSERT_TRUE(p->Signal(SIGTERM));
            EXPECT_TRUE(ExitedWithZero(p->Wait(60))) << "round " << round << "\n" << p->Report();
        }
        if (HasFailure())
            return;
    }
}

// kalist8 | tee log: the reader stops reading (a pager, a terminal paused
// with Ctrl+S) or goes away. The echo is dropped; polling, the console and
// its log go on, and the program still ends as usual.
class StdoutPipe : public ProgramRun, public ::testing::WithParamInterface<bool> {};

TEST_P(StdoutPipe, ProgramPollsOnAndEndsWithItsWholeLog)
{
    const bool readerGone = GetParam();
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    // The smallest pipe fills after a few exchanges.
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    if (readerGone)
        close(fds[0]);
    const auto program = Start("kalist8", fds[1]);
    close(fds[1]);
    ASSERT_TRUE(program->Started());
    // Every Ctrl+C prints a line: the echo fills the pipe and waits for room.
    if (!readerGone) {
        ASSERT_TRUE(WaitFor([&] { return program->Catches(SIGINT) || !program->Running(); }, 60));
        ASSERT_TRUE(WaitFor(
                        [&] {
                            program->Signal(SIGINT);
                            return program->WaitsOnAPipe() || !program->Running();
                        },
                        60) &&
                    program->Running())
            << program->Err();
    }
    ASSERT_TRUE(PollsTheSimulator(*program, SimRequests()));

    ASSERT_TRUE(program->Signal(SIGTERM));
    const int status = program->Wait(60);
    EXPECT_TRUE(ExitedWithZero(status)) << status << "\n" << program->Err();
    if (!readerGone)
        close(fds[0]);
    const std::string log = LogText();
    for (const char* line : {"GUI CON initialized.\n", "Form1->FormActivate.\n", "Опрос остановлен.\n"})
        EXPECT_TRUE(Contains(log, WinText(line))) << line;
}

INSTANTIATE_TEST_SUITE_P(Readers, StdoutPipe, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ReaderGone" : "NobodyReads";
                         });

} // namespace
