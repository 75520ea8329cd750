#include "sim/SimProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Polling interval for conditions a test waits on (files, child exit).
constexpr auto POLL_STEP = std::chrono::milliseconds(5);

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

Clock::time_point After(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double MsSince(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

pid_t Spawn(const std::string& exe, const std::vector<std::string>& args, const std::string& out,
            const std::string& err)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, exe.c_str(), &fa, &attr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// The wait status once pid has ended, -1 when it has not by the deadline.
int WaitUntil(pid_t pid, Clock::time_point deadline)
{
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0 && errno != EINTR)
            return -1;
        if (Clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(POLL_STEP);
    }
}

} // namespace

SimProcess::SimProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& dir)
    : outPath_(dir + "sim.out"), errPath_(dir + "sim.err")
{
    pid_ = Spawn(exe, args, outPath_, errPath_);
}

SimProcess::~SimProcess()
{
    if (pid_ > 0 && status_ == -1 && Stop(SIGTERM, 10) == -1) {
        ::kill(pid_, SIGKILL);
        WaitUntil(pid_, After(10));
    }
}

bool SimProcess::WaitForLine(double seconds)
{
    if (pid_ <= 0)
        return false;
    const auto deadline = After(seconds);
    for (;;) {
        const std::string out = Output();
        const auto eol = out.find('\n');
        if (eol != std::string::npos) {
            linePath_ = out.substr(0, eol);
            return true;
        }
        if (status_ == -1) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = status;
        }
        if (status_ != -1 || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(POLL_STEP);
    }
}

std::string SimProcess::Output() const { return ReadFile(outPath_); }

std::string SimProcess::Errors() const { return ReadFile(errPath_); }

bool SimProcess::WaitForOutput(const std::string& text, double seconds, size_t from) const
{
    const auto deadline = After(seconds);
    for (;;) {
        const std::string out = Output();
        if (out.size() >= from && out.find(text, from) != std::string::npos)
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(POLL_STEP);
    }
}

int SimProcess::Stop(int sig, double seconds)
{
    if (pid_ <= 0)
        return -1;
    if (status_ == -1)
        ::kill(pid_, sig);
    return WaitForExit(seconds);
}

int SimProcess::WaitForExit(double seconds)
{
    if (pid_ > 0 && status_ == -1)
        status_ = WaitUntil(pid_, After(seconds));
    return status_;
}

int RunProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
               std::string* out, std::string* err, double seconds)
{
    const std::string outPath = dir + "run.out", errPath = dir + "run.err";
    const pid_t pid = Spawn(exe, args, outPath, errPath);
    if (pid <= 0)
        return -1;
    int status = WaitUntil(pid, After(seconds));
    if (status == -1) {
        ::kill(pid, SIGKILL);
        WaitUntil(pid, After(10));
    }
    if (out)
        *out = ReadFile(outPath);
    if (err)
        *err = ReadFile(errPath);
    return status;
}

RawTerminal::RawTerminal(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        return;
    // Held as kalist8 holds its port. Pseudo-terminal numbers are reused at
    // once: a test elsewhere that reopens the path of a pseudo-terminal it
    // has closed may land on this one, and its open would reset the line
    // settings and flush the bytes under way; the lock makes that open fail.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ::tcflush(fd_, TCIOFLUSH);
}

RawTerminal::~RawTerminal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool RawTerminal::Write(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd p = {fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

RawTerminal::Received RawTerminal::Read(size_t expected, int timeoutMs, int silenceMs, Clock::time_point since)
{
    Received r;
    const auto start = Clock::now();
    auto lastByte = start;
    while (r.bytes.size() < expected) {
        const double waited = std::chrono::duration<double, std::milli>(Clock::now() - (r.bytes.empty() ? start : lastByte)).count();
        const double limit = r.bytes.empty() ? timeoutMs : silenceMs;
        if (waited >= limit)
            break;
        pollfd p = {fd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(limit - waited) + 1);
        if (p.revents & POLLIN) {
            uint8_t buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                lastByte = Clock::now();
                if (r.bytes.empty())
                    r.firstMs = MsSince(since);
                r.lastMs = MsSince(since);
                r.bytes.insert(r.bytes.end(), buf, buf + n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            r.hangUp = true; // end of file or an error: the other side is gone
            return r;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            r.hangUp = true;
            return r;
        }
    }
    return r;
}

} // namespace sim
