// kalist8 as a whole, as a user runs it: a portable folder with the
// program and its catalogue, the instrument simulator on a pseudo-terminal
// as COM1, the offscreen platform in place of a display. The program is
// ended the way a desktop session ends it, with SIGTERM.
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "TestUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string SIM = KALIST8_SIM_EXE;
const std::string KALIST8 = KALIST8_EXE;
const std::string PROGRAM_DIR = KALIST8_PROGRAM_DIR;

// The single-instance check compares executable names; a name of this run's
// own keeps a kalist8 that a developer has running from counting as the
// first instance.
std::string ProgramName() { return "kalist8-test-" + std::to_string(getpid()); }

typedef std::chrono::steady_clock Clock;

template <class Pred>
bool WaitFor(Pred pred, double seconds)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

bool Contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// One run of the program with its output in files; killed at the end of
// the test if it is still running.
class Program {
public:
    Program(const std::string& exe, const std::map<std::string, std::string>& env, const std::string& outPrefix)
        : out_(outPrefix + ".out"), err_(outPrefix + ".err")
    {
        std::map<std::string, std::string> all;
        for (char** e = environ; *e; ++e) {
            const std::string kv = *e;
            const auto eq = kv.find('=');
            all[kv.substr(0, eq)] = eq == std::string::npos ? "" : kv.substr(eq + 1);
        }
        for (const auto& [k, v] : env)
            all[k] = v;
        std::vector<std::string> envText;
        for (const auto& [k, v] : all)
            envText.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& s : envText)
            envp.push_back(s.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Whatever the test runner blocks or ignores, the program gets the
        // signals as a desktop session would send them.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE})
            sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::string arg0 = exe;
        char* argv[] = {arg0.data(), nullptr};
        if (posix_spawn(&pid_, exe.c_str(), &actions, &attr, argv, envp.data()) != 0)
            pid_ = 0;
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }
    std::string Out() const { return ReadBytes(out_); }
    std::string Err() const { return ReadBytes(err_); }
    std::string Report() const { return "standard output:\n" + Out() + "\nstandard error:\n" + Err(); }

    bool Running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == 0)
            return true;
        pid_ = 0;
        status_ = status;
        return false;
    }

    // True once the process has its handler for sig in place.
    bool Catches(int sig) const
    {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
        return false;
    }

    void Signal(int sig) { ASSERT_EQ(kill(pid_, sig), 0); }

    // The wait status; -1 when it did not end in time.
    int Wait(double seconds)
    {
        if (!WaitFor([this] { return !Running(); }, seconds))
            return -1;
        return status_;
    }

private:
    const std::string out_, err_;
    pid_t pid_ = 0;
    int status_ = -1;
};

bool ExitedWithZero(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

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

    program->Signal(SIGTERM);
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
    second->Signal(SIGTERM);
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
    first->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWithZero(first->Wait(60))) << first->Report();
}

} // namespace
