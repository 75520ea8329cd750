#include "sim/SimServer.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/MyStrUtils.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr auto RETRY_LOST_LINE = std::chrono::seconds(1);
constexpr size_t LOGGED_BYTES = 48; // a 9804-byte archive answer is not worth a screen

sigset_t ServerSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaddset(&set, s);
    return set;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string t;
    for (size_t i = 0; i < bytes.size() && i < LOGGED_BYTES; ++i)
        t += my::Format(i ? " %02X" : "%02X", bytes[i]);
    if (bytes.size() > LOGGED_BYTES)
        t += my::Format(" ... (%zu bytes)", bytes.size());
    return t;
}

// What follows the command word, without the blanks between.
std::string Rest(const std::string& command, const std::string& word)
{
    const std::string rest = command.substr(word.size());
    const auto first = rest.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : rest.substr(first);
}

} // namespace

void BlockServerSignals()
{
    const sigset_t set = ServerSignals();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

Server::Server(Line& line, Responder& responder, const ServerSettings& settings)
    : line_(line), responder_(responder), settings_(settings), start_(Clock::now()),
      assembler_(FrameSilence(settings.baud)), transmitter_(CharTime(settings.baud)), noise_(settings.noiseSeed),
      stdinOpen_(settings.commandsOnStdin)
{
    const sigset_t set = ServerSignals();
    signalFd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0)
        throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot watch for signals"));
    if (!settings_.controlPath.empty())
        control_ = std::make_unique<ControlSocket>(settings_.controlPath);
}

Server::~Server() { ::close(signalFd_); }

double Server::Seconds(TimePoint t) const { return std::chrono::duration<double>(t - start_).count(); }

void Server::Run()
{
    running_ = true;
    while (running_) {
        std::vector<pollfd> fds = {{signalFd_, POLLIN, 0}};
        const int fd = line_.Fd();
        if (fd >= 0)
            fds.push_back({fd, static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0});
        const size_t stdinAt = fds.size();
        if (stdinOpen_)
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        const size_t controlAt = fds.size();
        if (control_)
            control_->AddToPoll(fds);

        timespec ts{};
        const auto wake = NextWake();
        if (wake) {
            const auto left = std::max(Nanos(0), std::chrono::duration_cast<Nanos>(*wake - Clock::now()));
            ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        if (::ppoll(fds.data(), fds.size(), wake ? &ts : nullptr, nullptr) < 0 && errno != EINTR)
            throw PMyExcpt(new MyWindowsException(FILE_LINE, "poll failed"));

        if (fds[0].revents)
            ReadSignals();
        if (fd >= 0 && (fds[1].revents & POLLOUT))
            writeBlocked_ = false;
        if (fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadFromLine(Clock::now());
        if (stdinOpen_ && fds[stdinAt].revents)
            ReadStdin();
        if (control_)
            control_->Serve(std::vector<pollfd>(fds.begin() + static_cast<ptrdiff_t>(controlAt), fds.end()),
                            [this](const std::string& c) { return Execute(c); });

        const TimePoint now = Clock::now();
        if (line_.Fd() >= 0) {
            if (auto frame = assembler_.TakeIfComplete(now)) {
                if (TooSoonAfterAnswer())
                    LoseRequest(*frame, now);
                else
                    HandleRequest(*frame, now);
            }
            if (!writeBlocked_)
                Transmit(Clock::now());
            MakeNoise(Clock::now());
        }
        if (restoreAt_ && Clock::now() >= *restoreAt_)
            RestoreLine();
    }
}

std::optional<TimePoint> Server::NextWake() const
{
    std::optional<TimePoint> wake = restoreAt_;
    auto earlier = [&wake](TimePoint t) {
        if (!wake || t < *wake)
            wake = t;
    };
    if (line_.Fd() >= 0 && !assembler_.Empty())
        earlier(assembler_.Deadline());
    if (line_.Fd() >= 0 && !transmitter_.Idle() && !writeBlocked_)
        earlier(transmitter_.NextDue());
    if (line_.Fd() >= 0 && NoiseOn()) {
        const auto due = noise_.NextDue();
        earlier(due ? *due : Clock::now());
    }
    return wake;
}

void Server::ReadFromLine(TimePoint now)
{
    uint8_t buf[4096];
    bool got = false;
    for (;;) {
        const ssize_t n = ::read(line_.Fd(), buf, sizeof buf);
        if (n > 0) {
            got = true;
            responder_.Counts().bytesReceived += static_cast<uint64_t>(n);
            // Half duplex, as on RS-485: what arrives while the simulator
            // talks is lost.
            if (!transmitter_.Idle())
                responder_.Counts().bytesIgnored += static_cast<uint64_t>(n);
            else {
                if (assembler_.Empty())
                    requestStart_ = now;
                assembler_.Add(buf, static_cast<size_t>(n), now);
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A raw terminal reads 0 bytes once it is empty; a master side says
        // EAGAIN. Nothing at all although poll reported the descriptor: the
        // device has gone.
        if (got && (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        LineLost(n == 0 ? "the device has gone" : WinErrorText(errno));
        return;
    }
}

void Server::Transmit(TimePoint now)
{
    while (!transmitter_.Idle()) {
        const size_t due = transmitter_.DueCount(now);
        if (due == 0)
            return;
        const ssize_t n = ::write(line_.Fd(), transmitter_.Pending(), due);
        if (n > 0) {
            transmitter_.Written(static_cast<size_t>(n));
            responder_.Counts().bytesSent += static_cast<uint64_t>(n);
            if (transmitter_.Idle())
                lastAnswerEnd_ = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeBlocked_ = true; // nobody reads the far end: wait until there is room
            return;
        }
        LineLost(WinErrorText(errno));
        return;
    }
}

bool Server::NoiseOn() const { return responder_.CurrentFault(Seconds(Clock::now())).kind == FaultKind::Noise; }

// The noise goes out as it comes, over whatever else is on the line: an
// answer under way is garbled as a real one would be. Noise that finds the
// line full is lost.
void Server::MakeNoise(TimePoint now)
{
    if (!NoiseOn()) {
        noise_.Stop();
        return;
    }
    const std::vector<uint8_t> bytes = noise_.Take(now);
    if (bytes.empty())
        return;
    const ssize_t n = ::write(line_.Fd(), bytes.data(), bytes.size());
    if (n > 0)
        responder_.Counts().bytesSent += static_cast<uint64_t>(n);
}

void Server::HandleRequest(const std::vector<uint8_t>& frame, TimePoint now)
{
    const Reply reply = responder_.Respond(frame.data(), frame.data() + frame.size(), Seconds(now));
    if (settings_.verbose)
        Log(my::Format("%10.3f RXD %s%s%s\n", Seconds(now), Hex(frame).c_str(), reply.note.empty() ? "" : "  ; ",
                       reply.note.c_str()));
    if (reply.dropLine) {
        DropLine(reply.downMs);
        return;
    }
    if (reply.pieces.empty())
        return;
    const auto latency = std::chrono::duration_cast<Nanos>(std::chrono::duration<double, std::milli>(settings_.latencyMs));
    transmitter_.Start(reply.pieces, now + latency);
    babbling_ = reply.babble;
    if (settings_.verbose) {
        for (const auto& piece : reply.pieces)
            Log(my::Format("%10.3f TXD %s%s\n", Seconds(now), Hex(piece.bytes).c_str(),
                           piece.gapBeforeMs > 0 ? my::Format("  ; after %g ms", piece.gapBeforeMs).c_str() : ""));
    }
}

bool Server::TooSoonAfterAnswer() const
{
    return settings_.turnaroundMs > 0 && lastAnswerEnd_ &&
           requestStart_ < *lastAnswerEnd_ + std::chrono::milliseconds(settings_.turnaroundMs);
}

void Server::LoseRequest(const std::vector<uint8_t>& frame, TimePoint now)
{
    ++responder_.Counts().turnaroundLost;
    if (settings_.verbose)
        Log(my::Format("%10.3f RXD %s  ; lost: within the turnaround\n", Seconds(now), Hex(frame).c_str()));
}

void Server::DropLine(int downMs)
{
    transmitter_.Clear();
    assembler_.Clear();
    writeBlocked_ = false;
    line_.Close();
    ++responder_.Counts().lineDrops;
    if (downMs >= 0)
        restoreAt_ = Clock::now() + std::chrono::milliseconds(downMs);
    else
        restoreAt_.reset();
    Say("line down");
}

void Server::RestoreLine()
{
    restoreAt_.reset();
    try {
        line_.Open();
        Say("line up " + line_.Path());
    } catch (...) {
        const PMyExcpt e = CurrentExceptionToPMyExcpt(FILE_LINE);
        Log("kalist8-sim: " + e->Message() + "; trying again\n");
        restoreAt_ = Clock::now() + RETRY_LOST_LINE;
    }
}

void Server::LineLost(const std::string& why)
{
    // A serial adapter that was unplugged: wait for it to come back.
    Log("kalist8-sim: the line failed (" + why + "); trying again\n");
    transmitter_.Clear();
    assembler_.Clear();
    writeBlocked_ = false;
    line_.Close();
    restoreAt_ = Clock::now() + RETRY_LOST_LINE;
    Say("line down");
}

void Server::ReadStdin()
{
    char buf[1024];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        // End of input, or a terminal we may not read (started in the
        // background): commands then come only through the control socket.
        stdinOpen_ = false;
        return;
    }
    stdinBuffer_.append(buf, static_cast<size_t>(n));
    for (const auto& line : TakeLines(stdinBuffer_))
        Say(Execute(line));
}

void Server::ReadSignals()
{
    signalfd_siginfo info;
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGUSR1)
            Say(FormatCounts(responder_.Counts()));
        else
            running_ = false;
    }
}

std::string Server::Execute(const std::string& line)
{
    const auto b = line.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "error: empty command (try help)";
    const std::string command = line.substr(b, line.find_last_not_of(" \t") + 1 - b);
    const std::string word = command.substr(0, command.find_first_of(" \t"));
    const std::string arg = Rest(command, word);
    try {
        if (word == "help")
            return "ok commands: fault [FAULT], drop [MS|forever], restore, line, latency [MS], counts, quit";
        if (word == "fault") {
            const double now = Seconds(Clock::now());
            if (!arg.empty()) {
                responder_.SetFault(ParseFault(arg), now);
                if (babbling_)
                    transmitter_.Clear(); // a babble lasts until the fault changes
                babbling_ = false;
            }
            return "ok fault " + FaultText(responder_.CurrentFault(now));
        }
        if (word == "drop")
            return DropCommand(arg);
        if (word == "restore") {
            if (line_.Fd() < 0) {
                restoreAt_.reset();
                line_.Open();
                Say("line up " + line_.Path());
            }
            return "ok line up " + line_.Path();
        }
        if (word == "line")
            return line_.Fd() >= 0 ? "ok line up " + line_.Path() : std::string("ok line down");
        if (word == "latency") {
            if (!arg.empty()) {
                const auto ms = ParseDouble(arg);
                if (!ms.second || ms.first < 0 || ms.first > 60000)
                    return "error: the latency must be a number of milliseconds from 0 to 60000";
                settings_.latencyMs = ms.first;
            }
            return my::Format("ok latency %g", settings_.latencyMs);
        }
        if (word == "counts") {
            Say(FormatCounts(responder_.Counts()));
            return "ok " + FormatCountsLine(responder_.Counts());
        }
        if (word == "quit") {
            running_ = false;
            return "ok quitting";
        }
        return "error: unknown command \"" + word + "\" (try help)";
    } catch (...) {
        return "error: " + CurrentExceptionToPMyExcpt(FILE_LINE)->Message();
    }
}

std::string Server::DropCommand(const std::string& arg)
{
    int ms = 1000;
    if (arg == "forever") {
        ms = -1;
    } else if (!arg.empty()) {
        const auto n = ParseInt(arg, 10);
        if (!n.second || n.first < 0 || n.first > 3600000)
            return "error: drop takes a number of milliseconds from 0 to 3600000, or \"forever\"";
        ms = n.first;
    }
    if (line_.Fd() < 0)
        return "error: the line is down already";
    DropLine(ms);
    return ms < 0 ? std::string("ok line down until restore") : my::Format("ok line down for %d ms", ms);
}

void Server::Say(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    if (line.empty() || line.back() != '\n')
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Server::Log(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace sim
