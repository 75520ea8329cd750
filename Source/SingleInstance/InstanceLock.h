#pragma once

#include <boost/noncopyable.hpp>

#include <string>

// An exclusive lock on a file, held from construction until destruction
// (or the end of the process). Two programs started at the same moment
// cannot both take it, which a look at the process list cannot promise:
// each would see the other there.
class InstanceLock : boost::noncopyable {
public:
    enum State {
        Taken,         // this process holds it
        HeldByAnother, // another process holds it
        Unavailable    // the file cannot be opened (no folder, no right)
    };

    explicit InstanceLock(const std::string& path);
    ~InstanceLock();

    State GetState() const { return state_; }

    // $XDG_RUNTIME_DIR/<executable>.lock, else the same name beside the
    // executable.
    static std::string DefaultPath();

private:
    int fd_ = -1;
    State state_ = Unavailable;
};

// Whether this process may run as the program: it holds the lock; without
// a lock file to take, no other process runs from an executable of its name.
bool IsOnlyInstance(const InstanceLock& lock);
