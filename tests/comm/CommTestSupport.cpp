#include "CommTestSupport.h"

#include "ComPort/CommSets.h"
#include "ComPort/CommUtils.h"
#include "PortDoctor/OpenFailureAdvice.h"
#include "PortDoctor/PortDoctor.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

const char* const kHelperFlag = "--comm-helper";

namespace {

typedef std::chrono::steady_clock Clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void MapPort(int portNumber, const char* path)
{
    if (path && *path)
        setenv(PortVariable(portNumber).c_str(), path, 1);
    else
        unsetenv(PortVariable(portNumber).c_str());
}

// The first device of "dev1,dev2".
std::string FirstOfPair()
{
    const char* pair = std::getenv("KALIST8_TEST_SERIAL_PAIR");
    if (!pair)
        return std::string();
    const std::string text = pair;
    return text.substr(0, text.find(','));
}

// Holds port n open until its standard input ends; says "open" when it is.
int HoldPort(int portNumber)
{
    my::Comm::Port port;
    try {
        port.SetPortNumber(portNumber);
        port.Open();
    } catch (const PMyExcpt& e) {
        std::printf("failed %s\n", FormatExceptionChain(e.get()).c_str());
        return 2;
    }
    std::printf("open\n");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}

bool HasCapSysAdmin()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 21) & 1;
    return false;
}

// Opens the device as any other program would, without flock.
int PlainOpen(const char* path)
{
    if (HasCapSysAdmin())
        return kStillPrivileged;
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        close(fd);
        return kOpened;
    }
    return errno == EBUSY ? kRefusedBusy : kOtherError;
}

// Opens the device as COM1 and says what came of it.
int ExplainOpen(const char* path)
{
    setenv(PortVariable(1).c_str(), path, 1);
    my::Comm::Port port;
    try {
        port.Open();
    } catch (const PMyExcpt& e) {
        std::printf("%s\n", my::PortDoctor::ExplainOpenFailure(1, my::PortDoctor::OpenFailureCause(e)).c_str());
        return 1;
    }
    std::printf("opened\n");
    return 0;
}

} // namespace

std::string PortVariable(int portNumber) { return "KALIST8_COM" + std::to_string(portNumber); }

void SetUpCommTestWorld()
{
    static TempDir config;
    static std::vector<std::unique_ptr<PtyPair>> pool;
    setenv("XDG_CONFIG_HOME", (config.Path() + "cfg").c_str(), 1);
    for (int n = 1; n <= 5; ++n) {
        pool.push_back(std::make_unique<PtyPair>());
        MapPort(n, pool.back()->SlavePath().c_str());
    }
    MapPort(kPairPort, FirstOfPair().c_str());
    MapPort(kRs485Port, std::getenv("KALIST8_TEST_RS485"));
    MapPort(kUnmappedPort, nullptr);
    MapPort(kLatePort, config.File("late-port").c_str());
    my::Comm::PresentPorts(); // built now; opening a missing port builds it again
}

int RunCommHelper(int argc, char** argv)
{
    const std::string mode = argc >= 2 ? argv[0] : "";
    if (mode == "hold")
        return HoldPort(std::atoi(argv[1]));
    if (mode == "plain-open")
        return PlainOpen(argv[1]);
    if (mode == "explain")
        return ExplainOpen(argv[1]);
    std::fprintf(stderr, "unknown helper mode\n");
    return 100;
}

PtyPair::PtyPair() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slave_ = ptsname(master_);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::Write(const std::string& bytes)
{
    size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("pty write failed");
        pollfd p{master_, POLLOUT, 0};
        if (poll(&p, 1, MsLeft(deadline)) == 0)
            throw std::runtime_error("pty write timed out");
    }
}

std::string PtyPair::Read(size_t count, int deadlineMs)
{
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    while (got.size() < count) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0)
            got.append(buf, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

PtyPort::PtyPort(int portNumber) : env_(PortVariable(portNumber).c_str(), pty.SlavePath()) {}

HeldPort::HeldPort(int portNumber)
    : com(portNumber), holder({SelfExe(), kHelperFlag, "hold", std::to_string(portNumber)}, false)
{
}

::testing::AssertionResult HeldPort::Held()
{
    if (holder.StartError() != 0)
        return ::testing::AssertionFailure() << "the holder did not start: errno " << holder.StartError();
    const std::string line = holder.ReadLine();
    if (line != "open")
        return ::testing::AssertionFailure() << "the holder said \"" << line << "\" instead of \"open\"";
    return ::testing::AssertionSuccess();
}

int HeldPort::Release()
{
    holder.CloseInput();
    return holder.Wait();
}

bool WaitUntil(const std::function<bool()>& cond, int deadlineMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    while (!cond()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string SelfExe()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, n) : std::string();
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool searchPath)
    : pid_(-1), startError_(0), input_(-1), output_(-1), reaped_(false), status_(0)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    startError_ = searchPath ? posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ)
                             : posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (startError_)
        pid_ = -1;
}

ChildProcess::~ChildProcess()
{
    CloseInput();
    if (pid_ > 0 && !reaped_ && Wait() == -1 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    close(output_);
}

std::string ChildProcess::ReadLine(int deadlineMs)
{
    std::string line;
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    for (;;) {
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0)
            return std::string();
        char c;
        if (read(output_, &c, 1) != 1)
            return std::string();
        if (c == '\n')
            return line;
        line += c;
    }
}

void ChildProcess::CloseInput()
{
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

int ChildProcess::Wait(int deadlineMs)
{
    if (pid_ <= 0)
        return -1;
    if (!reaped_ && !WaitUntil([this] { return waitpid(pid_, &status_, WNOHANG) == pid_; }, deadlineMs))
        return -1;
    reaped_ = true;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

const MyException& Innermost(const PMyExcpt& e) { return *InnermostException(e.get()); }

PMyExcpt Thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (...) {
        return CurrentExceptionToPMyExcpt(FILE_LINE);
    }
    return PMyExcpt();
}
