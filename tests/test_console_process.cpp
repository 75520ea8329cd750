// The debug console as the program uses it, in a process of its own copied
// into a temporary directory, so that "Log" beside the executable is a
// fresh directory of the test (see console_probe.cpp).

#include "TestUtils.h"
#include "VCLUtils/MyStrUtils.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <sstream>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char kProbe[] = KALIST8_PROGRAM_DIR "kalist8_console_probe";
const char kNotice[] = "\n\t\t---Ctrl+Break pressed!---\n";

// What every scenario writes before it ends, as the snapshot holds it.
const std::string kTestLog = "GUI CON initialized.\n"
                             "Проверка кириллицы: КАЛИСТ-8\n"
                             "   три пробела впереди, хвост\n"
                             "worker line 1\n"
                             "worker line 2\n"
                             "worker line 3\n"
                             "main: done\n"
                             "unfinished line\n";

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// The probe copied into its own directory, started with an environment of
// the test's choice; its standard output and error go to files there.
class Probe {
public:
    Probe()
    {
        fs::copy_file(kProbe, exe_);
        fs::create_directories(emptyBin_);
    }
    ~Probe()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    std::string Dir() const { return dir_.Path(); }
    std::string LogDir() const { return dir_.File("Log/"); }
    std::string EmptyBin() const { return emptyBin_; }
    std::string Out() const { return ReadBytes(out_); }
    std::string Err() const { return ReadBytes(err_); }

    void Start(const std::string& scenario, const std::string& pathVar)
    {
        ChildEnvironment env({{"PATH", pathVar}, {"LC_ALL", "ru_RU.UTF-8"}, {"QT_QPA_PLATFORM", "offscreen"}});

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string arg0 = exe_, arg1 = scenario;
        char* argv[] = {arg0.data(), arg1.data(), nullptr};
        const int rc = posix_spawn(&pid_, exe_.c_str(), &actions, nullptr, argv, env.Envp());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(rc, 0);
    }

    bool WaitForOutput(const std::string& text, size_t times = 1)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Count(Out(), text) < times) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    void Signal(int sig) { ASSERT_EQ(kill(pid_, sig), 0); }

    // The wait status; the probe is killed if it has not ended in time.
    int Wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the probe did not end; output:\n" << Out() << Err();
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = 0;
        return status;
    }

private:
    TempDir dir_;
    const std::string exe_ = dir_.File("kalist8_console_probe");
    const std::string emptyBin_ = dir_.File("empty-bin");
    const std::string out_ = dir_.File("probe.out");
    const std::string err_ = dir_.File("probe.err");
    pid_t pid_ = 0;
};

// The time-of-day names a run between from and to may have used.
std::map<std::string, std::string> ArchiveNamesBetween(const QDateTime& from, const QDateTime& to)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    std::map<std::string, std::string> names;  // inner path and name -> bare name
    for (QDateTime t = from.addSecs(-1); t <= to.addSecs(1); t = t.addSecs(1)) {
        QString month = russian.standaloneMonthName(t.date().month(), QLocale::LongFormat);
        month[0] = month[0].toUpper();
        const std::string stem = TimeStem(t) + ".log";
        names[my::Format("%d/%02d_%s/%d/", t.date().year(), t.date().month(), month.toStdString().c_str(),
                         t.date().day()) +
              stem] = stem;
    }
    return names;
}

std::string SevenZip()
{
    for (const char* p : {"/usr/bin/7zz", "/usr/bin/7z"})
        if (access(p, X_OK) == 0)
            return p;
    return std::string();
}

// Runs 7-Zip on the archive; its standard output.
std::string RunSevenZip(Probe& probe, const std::vector<std::string>& args)
{
    const std::string out = probe.Dir() + "7z.out";
    std::vector<std::string> argv{SevenZip()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ScopedEnv utf8("LC_ALL", "C.UTF-8");
    if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) == 0)
        waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
    return ReadBytes(out);
}

TEST(ConsoleRun, EndsWithTheLogInsideTheArchiveUnderDateAndTime)
{
    ASSERT_FALSE(SevenZip().empty()) << "7-Zip (Debian package 7zip) is needed";
    Probe probe;
    const std::string bin = probe.Dir() + "bin";
    fs::create_directories(bin);
    fs::create_symlink(SevenZip(), bin + "/7zz");

    const QDateTime from = QDateTime::currentDateTime();
    probe.Start("run", bin);
    const int status = probe.Wait();
    const QDateTime to = QDateTime::currentDateTime();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << probe.Err();

    // Everything written went to the original standard output as well.
    const std::string out = probe.Out();
    EXPECT_EQ(Count(out, "GUI CON initialized.\n"), 1u) << out;
    EXPECT_NE(out.find("Проверка кириллицы: КАЛИСТ-8\n"), std::string::npos) << out;
    EXPECT_NE(out.find("worker line 1\nworker line 2\nworker line 3\n"), std::string::npos) << out;

    // Only the archive is left: the snapshot has gone into it.
    EXPECT_EQ(Names(probe.LogDir()), std::set<std::string>{"log.rar"});
    const std::string archive = probe.LogDir() + "log.rar";
    const std::string list = RunSevenZip(probe, {"l", "-slt", "-sccUTF-8", archive});
    std::vector<std::string> paths;
    for (size_t pos = list.find("\nPath = "); pos != std::string::npos; pos = list.find("\nPath = ", pos + 1))
        paths.push_back(list.substr(pos + 8, list.find('\n', pos + 1) - pos - 8));
    ASSERT_EQ(paths.size(), 2u) << list;  // the archive itself, then its one entry
    const std::string entry = paths[1];
    EXPECT_EQ(ArchiveNamesBetween(from, to).count(entry), 1u) << list;
    EXPECT_EQ(RunSevenZip(probe, {"e", "-so", "-sccUTF-8", archive, entry}), WinText(kTestLog));
}

TEST(ConsoleRun, CtrlCAndCtrlBreakOnlyPrintTheNoticeAndTermClosesOnTheMainThread)
{
    Probe probe;
    probe.Start("signals", probe.EmptyBin());
    ASSERT_TRUE(probe.WaitForOutput("probe: ready\n")) << probe.Out() << probe.Err();

    probe.Signal(SIGINT);
    ASSERT_TRUE(probe.WaitForOutput(kNotice, 1)) << probe.Out() << probe.Err();
    probe.Signal(SIGQUIT);
    ASSERT_TRUE(probe.WaitForOutput(kNotice, 2)) << probe.Out() << probe.Err();
    probe.Signal(SIGTERM);
    const int status = probe.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << probe.Err();
    EXPECT_NE(probe.Out().find("probe: close requested on the main thread\n"), std::string::npos) << probe.Out();

    const std::set<std::string> left = Names(probe.LogDir());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadBytes(probe.LogDir() + *left.begin()),
              WinText(kTestLog + "probe: ready\n"
                                 "\t\t---Ctrl+Break pressed!---\n"
                                 "\t\t---Ctrl+Break pressed!---\n"
                                 "probe: close requested on the main thread\n"));
}

TEST(ConsoleRun, WindowStartsHiddenTogglesAndOutlivesTheMainWindow)
{
    Probe probe;
    probe.Start("window", probe.EmptyBin());
    const int status = probe.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << probe.Err();
    const std::set<std::string> left = Names(probe.LogDir());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadBytes(probe.LogDir() + *left.begin()), WinText("GUI CON initialized.\nwindow checked\n"));
}

// "enable_console" in "form1.ini" puts "Консоль" in the main window's menu;
// each click shows the hidden console or hides the shown one.
TEST(ConsoleRun, MenuItemShowsAndHidesTheConsoleWhenEnabled)
{
    const struct {
        const char* form1; // nullptr: no "form1.ini"
        const char* seen;
    } cases[] = {
        {"[FORM1]\nenable_console=1\n", "menu item shown\nconsole shown\nconsole hidden\n"},
        {"[FORM1]\nenable_console=0\n", "menu item hidden\n"},
        {nullptr, "menu item hidden\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form1 ? c.form1 : "no form1.ini");
        Probe probe;
        if (c.form1)
            WriteBytes(probe.Dir() + "form1.ini", WinText(c.form1));
        probe.Start("menu", probe.EmptyBin());
        const int status = probe.Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << probe.Err();
        // The worker's trace lines may come in between: only the probe's
        // own lines count, in their order.
        const std::string out = probe.Out();
        std::string seen;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("menu item ", 0) == 0 || line == "console shown" || line == "console hidden")
                seen += line + "\n";
        EXPECT_EQ(seen, c.seen) << out << probe.Err();
    }
}

TEST(ConsoleRun, ASecondConsoleIsAProgrammingError)
{
    Probe probe;
    probe.Start("twice", probe.EmptyBin());
    const int status = probe.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
    EXPECT_NE(probe.Err().find("Assertion failed: !wasCalledOnce, file guicon.cpp"), std::string::npos)
        << probe.Err();
}

} // namespace
