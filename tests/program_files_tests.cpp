// Where kalist8 keeps its files and what its command line does, seen from
// outside: the real executable in a folder of the test's own. A folder the
// user may write to is a portable installation and keeps everything; a
// read-only one (an installed package) sends the files to the user's data
// folder. As root every folder is writable, so there the program runs as
// the unprivileged user "nobody".
#include "sim/SimControl.h"
#include "sim/SimProcess.h"

#include "ProgramTestSupport.h"
#include "TestUtils.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace program_test;

class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        InstallProgram(program_);
        for (const std::string& d : {home_, config_, runtime_}) {
            fs::create_directories(d);
            GiveToRunner(d);
        }
        shipped_ = Names(program_);
    }

    void TearDown() override { fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add); }

    // The folder as an installed package leaves it: nobody may write there.
    void MakeReadOnly()
    {
        fs::permissions(program_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        asNobody_ = getuid() == 0;
    }

    void StartSimulator()
    {
        sim_.reset(new sim::SimProcess(SimulatorExe(), {"--link", Line(), "--control", Control(), "--mask", "0x0007"},
                                       dir_.Path()));
        ASSERT_TRUE(sim_->WaitForLine()) << sim_->Errors();
        // The line belongs to the simulator's user; the program may run as another.
        fs::permissions(fs::canonical(Line()), fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                                                  fs::perms::others_exec));
    }

    std::unique_ptr<Program> Start(const std::string& name, const std::vector<std::string>& args = {},
                                   const std::map<std::string, std::string>& env = {})
    {
        std::map<std::string, std::string> all{{"KALIST8_COM1", Line()},
                                               {"QT_QPA_PLATFORM", "offscreen"},
                                               {"HOME", home_},
                                               {"XDG_DATA_HOME", ""},
                                               {"XDG_CONFIG_HOME", config_},
                                               {"XDG_RUNTIME_DIR", runtime_}};
        for (const auto& [k, v] : env)
            all[k] = v;
        if (!asNobody_)
            return std::make_unique<Program>(Exe(), all, dir_.File(name), args);
        const passwd* nobody = getpwnam("nobody");
        std::vector<std::string> setpriv{"--reuid=" + std::to_string(nobody->pw_uid),
                                         "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", Exe()};
        setpriv.insert(setpriv.end(), args.begin(), args.end());
        return std::make_unique<Program>("/usr/bin/setpriv", all, dir_.File(name), setpriv);
    }

    std::string Exe() const { return program_ + ProgramName(); }
    std::string Line() const { return dir_.File("ttyK8"); }
    std::string Control() const { return dir_.File("sim.ctl"); }
    std::string UserDataDir() const { return home_ + ".local/share/kalist8/"; }

    unsigned long SimRequests() const
    {
        const std::string reply = sim::SendControlCommand(Control(), "counts");
        const auto pos = reply.find("requests ");
        return pos == std::string::npos ? 0 : std::stoul(reply.substr(pos + 9));
    }

    // The mask, three descriptors, then the readings.
    ::testing::AssertionResult PollsTheSimulator(Program& p)
    {
        if (WaitFor([&] { return SimRequests() >= 20 || !p.Running(); }, 60) && p.Running())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "requests seen: " << SimRequests() << "\n" << p.Report();
    }

    TempDir dir_;
    const std::string program_ = dir_.File("program/");
    const std::string home_ = dir_.File("home/");
    const std::string config_ = dir_.File("config/");
    const std::string runtime_ = dir_.File("run/");
    std::set<std::string> shipped_;
    std::unique_ptr<sim::SimProcess> sim_;
    bool asNobody_ = false;

private:
    void GiveToRunner(const std::string& d)
    {
        if (getuid() != 0)
            return;
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(chown(d.c_str(), nobody->pw_uid, nobody->pw_gid), 0) << d;
    }
};

class ProgramFilesHome : public ProgramFolder, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramFilesHome, SettingsArchiveAndLogGoWhereTheUserMayWrite)
{
    const bool readOnly = GetParam();
    if (readOnly)
        MakeReadOnly();
    StartSimulator();
    const std::string home = readOnly ? UserDataDir() : program_;

    const auto program = Start("kalist8");
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(PollsTheSimulator(*program));
    EXPECT_TRUE(Contains(program->Out(), "Файлы программы: " + home + "\n")) << program->Out();

    // A running copy does not keep --version from answering.
    const auto version = Start("version", {"--version"});
    EXPECT_TRUE(ExitedWithZero(version->Wait(30))) << version->Report();
    EXPECT_TRUE(Contains(version->Out(), "kalist8 ")) << version->Report();

    ASSERT_TRUE(program->Signal(SIGTERM));
    const int status = program->Wait(60);
    ASSERT_TRUE(ExitedWithZero(status)) << status << "\n" << program->Report();

    for (const char* name : {"form1.ini", "config.ini", "comm.ini", "Log"})
        EXPECT_TRUE(FileExists(home + name)) << home + name;
    EXPECT_EQ(Names(home + "Log"), std::set<std::string>{"log.rar"});
    EXPECT_TRUE(Contains(ReadBytes(home + "config.ini"), WinText("[MAIN]\nАдрес=1\n")));
    if (readOnly)
        EXPECT_EQ(Names(program_), shipped_) << "the program's own folder changed";
    else
        EXPECT_FALSE(fs::exists(UserDataDir())) << "a portable folder needs no user data folder";
}

INSTANTIATE_TEST_SUITE_P(Folder, ProgramFilesHome, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ReadOnly" : "Writable";
                         });

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandLine : public ProgramFolder, public ::testing::WithParamInterface<CommandLineCase> {};

// With no display at all a QApplication would abort the program: these
// answers come before any window.
TEST_P(CommandLine, AnswersWithoutAWindowAndLeavesNoFiles)
{
    const CommandLineCase& c = GetParam();
    MakeReadOnly();
    const auto program = Start("cli", c.args, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    ASSERT_TRUE(program->Started());
    const int status = program->Wait(30);
    ASSERT_NE(status, -1) << program->Report();
    ASSERT_TRUE(WIFEXITED(status)) << status << "\n" << program->Report();
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << program->Report();
    for (const std::string& text : c.out)
        EXPECT_TRUE(Contains(program->Out(), text)) << text << " in\n" << program->Out();
    for (const std::string& text : c.err)
        EXPECT_TRUE(Contains(program->Err(), text)) << text << " in\n" << program->Err();
    EXPECT_EQ(c.exitCode == 0, program->Err().empty()) << program->Err();
    EXPECT_EQ(Names(program_), shipped_);
    EXPECT_FALSE(fs::exists(UserDataDir()));
}

// The help names this copy's folders: the read-only program folder sends
// the files to the user's data folder.
const std::vector<std::string> HELP_TEXTS = {
    "kalist8 [--help | --version]", "KALIST8_COM<n>", "XDG_DATA_HOME", "form1.ini", "config.ini",
    "comm.ini", "archive.txt", "Log/log.rar", "vars.ini", "comports.ini", "MyCommPortsSetings.ini"};

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLine,
    ::testing::Values(CommandLineCase{"Help", {"--help"}, 0, HELP_TEXTS, {}},
                      CommandLineCase{"ShortHelp", {"-h"}, 0, {"KALIST8_COM<n>"}, {}},
                      CommandLineCase{"Version", {"--version"}, 0, {"kalist8 " KALIST8_VERSION "\n"}, {}},
                      CommandLineCase{"HelpBeforeVersion", {"--version", "--help"}, 0, {"KALIST8_COM<n>"}, {}},
                      CommandLineCase{"UnknownOption", {"--verbose"}, 2, {}, {"\"--verbose\"", "kalist8 --help"}},
                      CommandLineCase{"UnknownAfterHelp", {"--help", "-x"}, 2, {}, {"\"-x\""}},
                      CommandLineCase{"Argument", {"archive.txt"}, 2, {}, {"\"archive.txt\""}}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

TEST_F(CommandLine, HelpNamesTheFoldersOfThisCopy)
{
    MakeReadOnly();
    const auto program = Start("help", {"--help"});
    ASSERT_TRUE(ExitedWithZero(program->Wait(30))) << program->Report();
    const std::string out = program->Out();
    EXPECT_TRUE(Contains(out, "  " + UserDataDir() + "\n")) << out;
    EXPECT_TRUE(Contains(out, "из " + program_ + "\n")) << out;
    EXPECT_TRUE(Contains(out, "  " + config_ + "\n")) << out;
}

} // namespace
