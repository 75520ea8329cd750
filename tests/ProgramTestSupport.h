#pragma once

// kalist8 started as a process, for the tests that run the whole program:
// its own name, its output in files, the signals a desktop session sends.

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace program_test {

// The single-instance check compares executable names; a name of this run's
// own keeps a kalist8 that a developer has running from counting as the
// first instance.
std::string ProgramName();

// The instrument simulator built with the program.
std::string SimulatorExe();
// A portable program folder: the program under ProgramName() and the
// catalogue it reads its names from, copied into folder (created when
// missing). Returns the executable's path.
std::string InstallProgram(const std::string& folder);

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

std::set<std::string> Names(const std::string& dir);
bool Contains(const std::string& text, const std::string& what);
bool ExitedWithZero(int status);

// One run of the program with its output in files; killed at the end of
// the test if it is still running. args follow the program's name.
class Program {
public:
    // Standard output goes to a file beside the error output, or to
    // stdoutFd when one is given.
    Program(const std::string& exe, const std::map<std::string, std::string>& env, const std::string& outPrefix,
            const std::vector<std::string>& args = {}, int stdoutFd = -1);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return pid_ > 0; }
    // True while one of its threads waits to write into a full pipe.
    bool WaitsOnAPipe() const;
    pid_t Pid() const { return pid_; }
    std::string Out() const;
    std::string Err() const;
    std::string Report() const { return "standard output:\n" + Out() + "\nstandard error:\n" + Err(); }

    bool Running();
    // True once the process has its handler for sig in place.
    bool Catches(int sig) const;
    // False when the signal could not be sent.
    bool Signal(int sig);
    // The wait status; -1 when it did not end in time.
    int Wait(double seconds);

private:
    const std::string out_, err_;
    pid_t pid_ = 0;
    int status_ = -1;
};

} // namespace program_test
