#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sim {

// kalist8-sim as a child process, for tests. Its standard output and error
// go to files in a directory of the test's, so it never blocks on a full
// pipe; standard input is /dev/null. The destructor ends it (SIGTERM, then
// SIGKILL) when the test has not, and only that process.
class SimProcess {
public:
    SimProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& dir);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Waits for the first line of its output, the path of the line; false
    // when it ended or said nothing in time (Errors() then tells why).
    bool WaitForLine(double seconds = 10);
    const std::string& LinePath() const { return linePath_; }
    pid_t Pid() const { return pid_; }

    std::string Output() const;
    std::string Errors() const;
    // Waits until its standard output holds text at or after offset from.
    bool WaitForOutput(const std::string& text, double seconds = 10, size_t from = 0) const;

    // Sends sig and waits for the end; the wait status, or -1 when it did
    // not end in time.
    int Stop(int sig, double seconds = 10);
    // Waits for an end the process comes to by itself.
    int WaitForExit(double seconds = 10);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outPath_, errPath_, linePath_;
};

// Runs a program to its end with its output in files of dir; returns the
// wait status (-1 when it could not start or did not end in time).
int RunProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
               std::string* out, std::string* err, double seconds = 20);

// The test's end of the line: a raw, non-blocking terminal, locked with
// flock as kalist8 locks its port.
class RawTerminal {
public:
    explicit RawTerminal(const std::string& path);
    ~RawTerminal();
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    bool Write(const std::vector<uint8_t>& bytes);

    struct Received {
        std::vector<uint8_t> bytes;
        bool hangUp = false;  // the other side went away
        double firstMs = -1;  // arrival of the first and last byte,
        double lastMs = -1;   // after the given reference moment
    };
    // Reads until expected bytes have come, the line stayed silent for
    // silenceMs after a byte, or nothing came for timeoutMs.
    Received Read(size_t expected, int timeoutMs, int silenceMs,
                  std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now());

private:
    int fd_ = -1;
};

} // namespace sim
