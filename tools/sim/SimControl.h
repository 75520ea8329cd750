#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

namespace sim {

// The control channel: a Unix-domain stream socket. A client connects,
// writes commands one per line and reads one reply line per command; the
// reply is written after the command has taken effect. Several clients may
// be connected at once.
class ControlSocket {
public:
    // Listens at path; a stale socket left there by an earlier run is
    // replaced, any other file is not. Throws MyWindowsException.
    explicit ControlSocket(std::string path);
    ~ControlSocket();
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    // Adds the listening socket and the clients to a poll set.
    void AddToPoll(std::vector<pollfd>& fds) const;
    // Accepts, reads and runs the complete command lines of everything the
    // poll set reported; execute turns a command into its reply.
    void Serve(const std::vector<pollfd>& fds, const std::function<std::string(const std::string&)>& execute);

private:
    struct Client {
        int fd;
        std::string buffer;
    };
    void Accept();
    bool ServeClient(Client& c, const std::function<std::string(const std::string&)>& execute);

    std::string path_;
    int listen_ = -1;
    std::vector<Client> clients_;
};

// Connects to a simulator's control socket, sends one command and returns
// its reply line (without the line feed). Throws MyWindowsException when
// the socket cannot be reached, MyException when no reply comes within
// timeoutMs.
std::string SendControlCommand(const std::string& path, const std::string& command, int timeoutMs = 10000);

// Splits complete lines off the front of a buffer (CR and LF both end one).
std::vector<std::string> TakeLines(std::string& buffer);

} // namespace sim
