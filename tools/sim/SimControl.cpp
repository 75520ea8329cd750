#include "sim/SimControl.h"

#include "Excpt/MyExeption.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr size_t MAX_CLIENTS = 16;
constexpr size_t MAX_LINE = 4096;

sockaddr_un SocketAddress(const std::string& path)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path)
        throw PMyExcpt(new MyWindowsException(ENAMETOOLONG, FILE_LINE, "control socket path too long: " + path));
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return a;
}

void WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the client went away or does not read: its loss
        done += static_cast<size_t>(n);
    }
}

} // namespace

std::vector<std::string> TakeLines(std::string& buffer)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] == '\n' || buffer[i] == '\r') {
            if (i > start)
                lines.push_back(buffer.substr(start, i - start));
            start = i + 1;
        }
    }
    buffer.erase(0, start);
    return lines;
}

ControlSocket::ControlSocket(std::string path) : path_(std::move(path))
{
    const sockaddr_un a = SocketAddress(path_);
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            throw PMyExcpt(new MyWindowsException(EEXIST, FILE_LINE, path_ + " exists and is not a socket"));
        ::unlink(path_.c_str());
    }
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0)
        throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot create the control socket"));
    if (::bind(listen_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 8) != 0) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, "cannot listen at " + path_));
        ::close(listen_);
        throw e;
    }
}

ControlSocket::~ControlSocket()
{
    for (const auto& c : clients_)
        ::close(c.fd);
    ::close(listen_);
    ::unlink(path_.c_str());
}

void ControlSocket::AddToPoll(std::vector<pollfd>& fds) const
{
    fds.push_back({listen_, POLLIN, 0});
    for (const auto& c : clients_)
        fds.push_back({c.fd, POLLIN, 0});
}

void ControlSocket::Serve(const std::vector<pollfd>& fds,
                          const std::function<std::string(const std::string&)>& execute)
{
    bool accept = false;
    std::vector<int> ready;
    for (const auto& p : fds) {
        if (!p.revents)
            continue;
        if (p.fd == listen_)
            accept = true;
        else
            ready.push_back(p.fd);
    }
    for (size_t i = 0; i < clients_.size();) {
        const bool isReady = std::find(ready.begin(), ready.end(), clients_[i].fd) != ready.end();
        if (isReady && !ServeClient(clients_[i], execute)) {
            ::close(clients_[i].fd);
            clients_.erase(clients_.begin() + static_cast<ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (accept)
        Accept();
}

void ControlSocket::Accept()
{
    for (;;) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (clients_.size() >= MAX_CLIENTS) {
            WriteAll(fd, "error: too many control connections\n");
            ::close(fd);
            continue;
        }
        clients_.push_back({fd, std::string()});
    }
}

bool ControlSocket::ServeClient(Client& c, const std::function<std::string(const std::string&)>& execute)
{
    char buf[1024];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.buffer.append(buf, static_cast<size_t>(n));
        for (const auto& line : TakeLines(c.buffer))
            WriteAll(c.fd, execute(line) + "\n");
        if (c.buffer.size() > MAX_LINE)
            return false;
    }
}

std::string SendControlCommand(const std::string& path, const std::string& command, int timeoutMs)
{
    const sockaddr_un a = SocketAddress(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot create a socket"));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, "cannot reach the simulator at " + path));
        ::close(fd);
        throw e;
    }
    WriteAll(fd, command + "\n");
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p = {fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
            break;
        char buf[1024];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reply.append(buf, static_cast<size_t>(n));
        const auto eol = reply.find('\n');
        if (eol != std::string::npos) {
            ::close(fd);
            return reply.substr(0, eol);
        }
    }
    ::close(fd);
    throw PMyExcpt(new MyException(FILE_LINE, "no reply from the simulator at " + path + " to \"" + command + "\""));
}

} // namespace sim
