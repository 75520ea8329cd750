#pragma once

#include <boost/noncopyable.hpp>

#include <memory>

namespace my {

// The state flags of one worker thread, read and written from both threads.
// The lock is held for one flag access at a time, never across a call.
//
//   idle     (terminated, stoped) = (true, true)
//   running  (false, false)
//   ending   (true, false): asked to end, procedure still running
class MyThreadState : boost::noncopyable {
public:
    MyThreadState();
    ~MyThreadState();

    bool GetTerminated() const;
    bool WasStoped() const;
    void SetTerminated(bool value);
    // Both flags under one hold of the lock.
    void SetState(bool terminated, bool stoped);

private:
    // Loki's threading header needs special compiler flags, so its lock
    // stays inside MyThreadState.cpp.
    class Lockable;
    const std::unique_ptr<Lockable> lock_;
    bool terminated_;
    bool stoped_;
};

} // namespace my
