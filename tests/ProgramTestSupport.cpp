#include "ProgramTestSupport.h"

#include "TestUtils.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace program_test {

std::string ProgramName() { return "kalist8-test-" + std::to_string(getpid()); }

std::string SimulatorExe() { return KALIST8_SIM_EXE; }

std::string InstallProgram(const std::string& folder)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    const std::string exe = folder + ProgramName();
    fs::copy_file(KALIST8_EXE, exe);
    for (const char* ini : {"vars.ini", "units.ini", "scales.ini"})
        fs::copy_file(std::string(KALIST8_PROGRAM_DIR) + ini, folder + ini);
    return exe;
}

std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

bool Contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

bool ExitedWithZero(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

Program::Program(const std::string& exe, const std::map<std::string, std::string>& env, const std::string& outPrefix,
                 const std::vector<std::string>& args, int stdoutFd)
    : out_(outPrefix + ".out"), err_(outPrefix + ".err")
{
    ChildEnvironment childEnv(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Nothing of the test's own goes along: a terminal the test holds and
    // locks would otherwise stay locked in the program as well.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
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
    std::vector<std::string> text{exe};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, exe.c_str(), &actions, &attr, argv.data(), childEnv.Envp()) != 0)
        pid_ = 0;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
}

Program::~Program()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string Program::Out() const { return ReadBytes(out_); }
std::string Program::Err() const { return ReadBytes(err_); }

bool Program::Running()
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

bool Program::Catches(int sig) const
{
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
    return false;
}

bool Program::WaitsOnAPipe() const
{
    if (pid_ <= 0)
        return false;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec)) {
        std::ifstream in(task.path() / "wchan");
        std::string wchan;
        std::getline(in, wchan);
        if (wchan.find("pipe_write") != std::string::npos)
            return true;
    }
    return false;
}

bool Program::Signal(int sig) { return pid_ > 0 && kill(pid_, sig) == 0; }

int Program::Wait(double seconds)
{
    if (!WaitFor([this] { return !Running(); }, seconds))
        return -1;
    return status_;
}

} // namespace program_test
