#pragma once

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

namespace my::Comm {

// The system calls the serial port makes, all through this one class. The
// real calls are the default; a test puts a subclass in their place that
// fails a call on demand or reports line error counters and modem lines a
// pseudo-terminal cannot produce. Each function behaves as the system call
// of its name: -1 with errno set on failure.
class SerialSys {
public:
    virtual ~SerialSys();
    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int Flock(int fd, int operation);
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    virtual int Tcsetattr(int fd, int action, const termios* t);
    virtual int Tcflush(int fd, int queue);
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    virtual ssize_t Read(int fd, void* buf, size_t count);
    virtual ssize_t Write(int fd, const void* buf, size_t count);
};

// The calls in use now.
SerialSys& Sys();

// Puts sys in place of the calls in use (nullptr: the real ones again) and
// returns the previous one. The caller keeps sys alive while it is in place.
SerialSys* InstallSerialSys(SerialSys* sys);

} // namespace my::Comm
