// kalist8 as a whole, as a user runs it: a portable folder with the
// program and its catalogue, the instrument simulator on a pseudo-terminal
// as COM1, the offscreen platform in place of a display. The program is
// ended the way a desktop session ends it, with SIGTERM.
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "ProgramTestSupport.h"
#include "TestUtils.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace program_test;

const std::string SIM = KALIST8_SIM_EXE;
const std::string KALIST8 = KALIST8_EXE;
const std::string PROGRAM_DIR = KALIST8_PROGRAM_DIR;

// The program folder with the simulator on its COM1 line.
class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(program_);
        fs::create_directories(config_);
        fs::copy_file(KALIST8, Exe());
        for (const char* ini : {"vars.ini", "units.ini", "scales.ini"})
            fs::copy_file(PROGRAM_DIR + ini, program_ + ini);
        sim_.reset(new sim::SimProcess(SIM, {"--link", Line(), "--control", Control(), "--mask", "0x0007"},
                                       dir_.Path()));
        ASSERT_TRUE(sim_->WaitForLine()) << sim_->Errors();
    }

    std::string Exe() const { return program_ + ProgramName(); }
    std::string Line() const { return dir_.File("ttyK8"); }
    std::string Control() const { return dir_.File("sim.ctl"); }
    std::string ProgramFile(const std::string& name) const { return program_ + name; }

    std::unique_ptr<Program> Start(const std::string& name)
    {
        return std::make_unique<Program>(Exe(),
                                         std::map<std::string, std::string>{{"KALIST8_COM1", Line()},
                                                                            {"QT_QPA_PLATFORM", "offscreen"},
                                                                            {"XDG_CONFIG_HOME", config_}},
                                         dir_.File(name));
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
    std::unique_ptr<sim::SimProcess> sim_;
};

TEST_F(ProgramRun, PollsAndOnTermSavesSettingsAndArchivesTheLog)
{
    const auto program = Start("kalist8");
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(PollsTheSimulator(*program));

    ASSERT_TRUE(program->Signal(SIGTERM));
    const int status = program->Wait(60);
    ASSERT_TRUE(ExitedWithZero(status)) << status << "\n" << program->Report();

    // Settings are written in Windows-1251 with CRLF, every column of the
    // three channels included.
    const std::string form1 = ReadBytes(ProgramFile("form1.ini"));
    for (const char* expected :
         {"[FORM1]\n", "rcNormalPosition.left=", "[STATUS_PANEL]\n0=50\n1=50\n2=50\n3=", "[ширина столбца]\n0=350\n1="})
        EXPECT_TRUE(Contains(form1, WinText(expected))) << expected << " in\n" << form1;
    EXPECT_TRUE(Contains(form1, WinText("\n3="))) << form1;
    const std::string config = ReadBytes(ProgramFile("config.ini"));
    EXPECT_TRUE(Contains(config, WinText("[MAIN]\nАдрес=1\n"))) << config;
    EXPECT_TRUE(Contains(config, WinText("[Трансфер]\nприоритет_второго_потока="))) << config;
    EXPECT_FALSE(Contains(config, "Адрес")) << "UTF-8 in config.ini";
    const std::string comm = ReadBytes(ProgramFile("comm.ini"));
    EXPECT_TRUE(Contains(comm, WinText("[COMPORT]\n"))) << comm;
    EXPECT_TRUE(Contains(comm, WinText("[Трансфер]\n"))) << comm;

    // The console went to the original standard output as well, in the
    // order of the start and the shutdown.
    const std::string out = program->Out();
    const auto activated = out.find("Form1->FormActivate.\n");
    const auto stopped = out.rfind("Опрос остановлен.\n");
    EXPECT_NE(activated, std::string::npos) << out;
    EXPECT_NE(stopped, std::string::npos) << out;
    EXPECT_LT(activated, stopped);

    // The console text was kept in the log archive and the snapshot moved
    // into it.
    const std::string logDir = ProgramFile("Log/");
    ASSERT_EQ(Names(logDir), std::set<std::string>{"log.rar"}) << "is 7-Zip (Debian package 7zip) there?";
    std::string log, err;
    const int unpacked =
        sim::RunProgram("7zz", {"e", "-so", logDir + "log.rar"}, dir_.Path(), &log, &err);
    ASSERT_TRUE(ExitedWithZero(unpacked)) << err;
    EXPECT_TRUE(Contains(log, WinText("GUI CON initialized.\n"))) << log;
    EXPECT_TRUE(Contains(log, WinText("Form1->FormActivate.\n"))) << log;
}

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
    EXPECT_TRUE(Contains(out, "Unable to write to " + ProgramFile("config.ini"))) << out;
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

} // namespace
