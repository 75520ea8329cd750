#include "SingleInstance/InstanceLock.h"

#include "ProgramFiles.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const std::string& path)
{
    // Read access is enough for flock, so a lock file another user created
    // beside a shared executable can still be taken. Close-on-exec: the
    // programs started later (the archiver, the desktop's file handler)
    // must not keep the lock after this process has ended.
    fd_ = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    int rc;
    do
        rc = flock(fd_, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0)
        state_ = Taken;
    else
        state_ = errno == EWOULDBLOCK ? HeldByAnother : Unavailable;
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it would let a third start lock a new file
    // while a second one still waits on the old.
    if (fd_ >= 0)
        close(fd_);
}

std::string InstanceLock::DefaultPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? std::string(runtime) + "/" : GetExeDir();
    return dir + GetExeName() + ".lock";
}

bool IsOnlyInstance(const InstanceLock& lock)
{
    switch (lock.GetState()) {
    case InstanceLock::Taken:
        return true;
    case InstanceLock::HeldByAnother:
        return false;
    case InstanceLock::Unavailable:
        break;
    }
    return IsOnlyInstance();
}
