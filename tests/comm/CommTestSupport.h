#pragma once

#include "TestUtils.h"

#include "Excpt/MyExeption.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// The port numbers of this test program. Their devices are mapped through
// the environment before the present-port list is built (at start-up):
//   1 to 5  pseudo-terminals; a test points its number at a fresh one;
//   6       the first of KALIST8_TEST_SERIAL_PAIR (two UARTs wired to each
//           other, "dev1,dev2"), unmapped without it;
//   7       KALIST8_TEST_RS485 (a UART whose driver has RS-485 mode);
//   8       never mapped;
//   9       a path that names no device when the list is first built.
enum : int { kPairPort = 6, kRs485Port = 7, kUnmappedPort = 8, kLatePort = 9 };

std::string PortVariable(int portNumber);

// Called once by main before the tests: configuration directory, the
// pseudo-terminals, the mapping and the present-port list.
void SetUpCommTestWorld();

// The program's helper modes for tests that need another process; argv
// starts after "--comm-helper".
int RunCommHelper(int argc, char** argv);
extern const char* const kHelperFlag;

// The "explain" helper opens its argument as COM1 and prints "opened", or the
// explanation of the failure.

// Exit codes of the "plain-open" helper.
enum { kOpened = 10, kRefusedBusy = 11, kOtherError = 12, kStillPrivileged = 13 };

// A pseudo-terminal pair; the test holds the master side, the port opens the
// slave path.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slave_; }
    // Sends bytes to the port.
    void Write(const std::string& bytes);
    // What the port sent: until count bytes came or the deadline passed.
    std::string Read(size_t count, int deadlineMs = 5000);
    // The other side goes away.
    void CloseMaster();

private:
    int master_;
    std::string slave_;
};

// Port n stands for a fresh pseudo-terminal for the life of the object.
class PtyPort {
public:
    explicit PtyPort(int portNumber);
    PtyPair pty;

private:
    ScopedEnv env_;
};

// Polls cond until it holds or deadlineMs passes.
bool WaitUntil(const std::function<bool()>& cond, int deadlineMs = 5000);

// This test program's executable.
std::string SelfExe();

// A process started from an argument vector (no shell) with its standard
// input and output on pipes. The destructor closes its input and waits for
// it; one that does not end in time is killed by its id.
class ChildProcess {
public:
    // searchPath: argv[0] is looked up in PATH.
    ChildProcess(const std::vector<std::string>& argv, bool searchPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // 0 when started, else the errno of the start.
    int StartError() const { return startError_; }
    pid_t Pid() const { return pid_; }
    // One line of its output without the newline; empty at the deadline.
    std::string ReadLine(int deadlineMs = 5000);
    void CloseInput();
    // Its exit code once it has ended; -1 when it did not end in time or
    // ended by a signal.
    int Wait(int deadlineMs = 10000);

private:
    pid_t pid_;
    int startError_;
    int input_;
    int output_;
    bool reaped_;
    int status_;
};

// Port n on a fresh pseudo-terminal that another process of this test
// program (the "hold" helper) keeps open, as another program would.
class HeldPort {
public:
    explicit HeldPort(int portNumber);
    // Once the holder has the port open.
    ::testing::AssertionResult Held();
    // The holder closes the port and ends: its exit code.
    int Release();

    PtyPort com;
    ChildProcess holder;
};

// The innermost exception of a chain.
const MyException& Innermost(const PMyExcpt& e);

// Runs f and returns what it threw (empty when it threw nothing).
PMyExcpt Thrown(const std::function<void()>& f);
