#include "sim/SimLine.h"

#include "Excpt/MyExeption.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string ReadLink(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

} // namespace

speed_t BaudToSpeed(int baud)
{
    static const struct {
        int baud;
        speed_t speed;
    } table[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& e : table) {
        if (e.baud == baud)
            return e.speed;
    }
    return B0;
}

void MakeRaw(termios& t, speed_t speed)
{
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY | INPCK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
}

PtyLine::PtyLine(std::string linkPath) : linkPath_(std::move(linkPath)) {}

PtyLine::~PtyLine() { Close(); }

void PtyLine::Open()
{
    if (master_ >= 0)
        return;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0)
        throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot create a pseudo-terminal"));
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || !::ptsname(master_)) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, "cannot unlock the pseudo-terminal"));
        CloseFd(master_);
        throw e;
    }
    slavePath_ = ::ptsname(master_);
    ownSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    if (ownSlave_ < 0 || ::tcgetattr(ownSlave_, &t) != 0) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, "cannot open " + slavePath_));
        Close();
        throw e;
    }
    // Raw from the start, so that a program that forgets to set raw mode
    // still gets the bytes unchanged.
    MakeRaw(t, B9600);
    ::tcsetattr(ownSlave_, TCSANOW, &t);
    try {
        PointLink();
    } catch (...) {
        Close();
        throw;
    }
}

void PtyLine::Close()
{
    if (master_ < 0)
        return;
    RemoveLink();
    CloseFd(ownSlave_);
    CloseFd(master_);
    slavePath_.clear();
}

void PtyLine::PointLink()
{
    if (linkPath_.empty())
        return;
    struct stat st;
    if (::lstat(linkPath_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throw PMyExcpt(new MyWindowsException(EEXIST, FILE_LINE, linkPath_ + " exists and is not a symbolic link"));
    // A new link under a temporary name, then renamed over the old one:
    // whoever follows the link never finds it missing or half made.
    const std::string tmp = linkPath_ + ".new" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(slavePath_.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), linkPath_.c_str()) != 0) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, "cannot make the link " + linkPath_));
        ::unlink(tmp.c_str());
        throw e;
    }
}

void PtyLine::RemoveLink()
{
    // Only our own link: another simulator may have taken the name since.
    if (!linkPath_.empty() && ReadLink(linkPath_) == slavePath_)
        ::unlink(linkPath_.c_str());
}

DeviceLine::DeviceLine(std::string path, int baud) : path_(std::move(path)), baud_(baud) {}

DeviceLine::~DeviceLine() { Close(); }

void DeviceLine::Open()
{
    if (fd_ >= 0)
        return;
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        throw PMyExcpt(new MyWindowsException(FILE_LINE, "cannot open " + path_));
    termios t{};
    const char* failed = nullptr;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        failed = " is in use by another program";
    else if (::tcgetattr(fd_, &t) != 0)
        failed = " is not a serial device";
    if (!failed) {
        MakeRaw(t, BaudToSpeed(baud_));
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            failed = ": cannot set the line settings";
    }
    if (failed) {
        const PMyExcpt e(new MyWindowsException(FILE_LINE, path_ + failed));
        CloseFd(fd_);
        throw e;
    }
    ::tcflush(fd_, TCIOFLUSH);
}

void DeviceLine::Close() { CloseFd(fd_); }

} // namespace sim
