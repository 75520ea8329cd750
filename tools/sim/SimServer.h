#pragma once

#include "sim/SimControl.h"
#include "sim/SimLine.h"
#include "sim/SimNoise.h"
#include "sim/SimResponder.h"
#include "sim/SimTiming.h"

#include <memory>
#include <optional>
#include <string>

namespace sim {

struct ServerSettings {
    int baud = 9600;
    double latencyMs = 5;
    int turnaroundMs = 0;       // requests starting sooner after an answer are lost
    bool verbose = false;       // traffic log on standard error
    std::string controlPath;    // empty: no control socket
    bool commandsOnStdin = true;
    uint64_t noiseSeed = 1;     // the bytes and moments of the noise fault
};

// Blocks the signals the server takes through its signal descriptor
// (SIGINT, SIGTERM, SIGHUP, SIGUSR1); call before anything else, so that a
// stop request during start-up is not lost.
void BlockServerSignals();

// The simulator's main loop: reads requests from the line, answers them at
// line speed, serves the control commands, pulls and restores the line.
// Everything runs on one thread around one poll.
class Server {
public:
    Server(Line& line, Responder& responder, const ServerSettings& settings);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until SIGINT, SIGTERM or SIGHUP arrives or "quit" is given;
    // SIGUSR1 prints the counts. The line must be open.
    void Run();
    // One control command and its reply line.
    std::string Execute(const std::string& line);

private:
    double Seconds(TimePoint t) const;
    std::optional<TimePoint> NextWake() const;
    void ReadFromLine(TimePoint now);
    void Transmit(TimePoint now);
    void HandleRequest(const std::vector<uint8_t>& frame, TimePoint now);
    bool TooSoonAfterAnswer() const;
    void LoseRequest(const std::vector<uint8_t>& frame, TimePoint now);
    bool NoiseOn() const;
    void MakeNoise(TimePoint now);
    void DropLine(int downMs);
    void RestoreLine();
    void LineLost(const std::string& why);
    void ReadStdin();
    void ReadSignals();
    std::string DropCommand(const std::string& arg);
    void Say(const std::string& line);
    void Log(const std::string& text);

    Line& line_;
    Responder& responder_;
    ServerSettings settings_;
    TimePoint start_;
    FrameAssembler assembler_;
    Transmitter transmitter_;
    NoiseSource noise_;
    bool writeBlocked_ = false;
    bool babbling_ = false;
    std::optional<TimePoint> lastAnswerEnd_;
    TimePoint requestStart_;
    std::optional<TimePoint> restoreAt_;
    std::unique_ptr<ControlSocket> control_;
    int signalFd_ = -1;
    bool stdinOpen_;
    std::string stdinBuffer_;
    bool running_ = false;
};

} // namespace sim
