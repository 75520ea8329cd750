#include "ComPort/SerialSys.h"

#include <atomic>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

namespace my::Comm {

namespace {

SerialSys realSys;
std::atomic<SerialSys*> currentSys{&realSys};

} // namespace

SerialSys::~SerialSys() = default;

int SerialSys::Open(const char* path, int flags) { return ::open(path, flags); }
int SerialSys::Close(int fd) { return ::close(fd); }
int SerialSys::Flock(int fd, int operation) { return ::flock(fd, operation); }
int SerialSys::Ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int SerialSys::Tcsetattr(int fd, int action, const termios* t) { return ::tcsetattr(fd, action, t); }
int SerialSys::Tcflush(int fd, int queue) { return ::tcflush(fd, queue); }
int SerialSys::Poll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
ssize_t SerialSys::Read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
ssize_t SerialSys::Write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }

SerialSys& Sys() { return *currentSys.load(); }

SerialSys* InstallSerialSys(SerialSys* sys) { return currentSys.exchange(sys ? sys : &realSys); }

} // namespace my::Comm
