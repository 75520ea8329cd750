#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <QThread>

#include <cstdint>

namespace my {

// Thread priority levels, the same numbers as QThread::Priority 0..6.
typedef std::uint8_t ThreadPriority;
enum ThreadPriorityLevel : ThreadPriority {
    tpIdle = 0,
    tpLowest = 1,
    tpLower = 2,
    tpNormal = 3,
    tpHigher = 4,
    tpHighest = 5,
    tpTimeCritical = 6,
};

// One worker thread that can be started and stopped again and again; each
// start runs the procedure once on a new platform thread.
//
// The procedure polls GetTerminated() and returns when it is set. Stop()
// asks for that and waits, serving the worker's synchronous calls
// (my::Synchronize) meanwhile, so a worker blocked in such a call completes
// it and then sees the request. An exception escaping the procedure ends
// the thread quietly: the procedure reports its own errors.
//
// Start, Stop, SetPriority, GetPriority and destruction belong to the main
// thread; WasStoped and GetTerminated may be called from any thread.
class Thread : boost::noncopyable {
public:
    typedef void (*Procedure)(void* arg);

    Thread(Procedure threadProcedure, void* arg, ThreadPriority priority);
    // Stops a thread still running, as Stop() does. Owners stop it first.
    ~Thread();

    // Starts the procedure unless it is running or still finishing. The
    // thread counts as running from here on, so a Stop() that follows at
    // once always stops it.
    void Start();
    // Asks the procedure to end and waits for the end of the platform
    // thread; returns at once when the procedure is not running.
    void Stop();

    bool WasStoped() const;
    bool GetTerminated() const;

    // Kept for every start; applied at once to a running thread. Levels
    // above 6 are kept as given and applied as 6.
    void SetPriority(ThreadPriority level);
    ThreadPriority GetPriority() const;

    class Impl;

private:
    boost::shared_ptr<Impl> impl_;
};

// The platform thread of one start: created suspended, runs body(arg) once
// when resumed. Its owner frees it; freeing an unfinished thread waits for
// its end.
class TMyVCLThread : public QThread {
public:
    typedef void (*Body)(void* arg);

    TMyVCLThread(Body body, void* arg);
    ~TMyVCLThread() override;

    // Kept for Resume(); applied at once while the thread runs.
    void SetPriority(ThreadPriority level);
    void Resume();

protected:
    void run() override;

private:
    const Body body_;
    void* const arg_;
    ThreadPriority priority_;
};

} // namespace my
