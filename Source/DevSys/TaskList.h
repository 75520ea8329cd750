#pragma once

#include "VCLUtils/MySynchronize.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <list>
#include <string>

// One job with the instrument. The hooks around DoTransfer() run on the main
// thread, inside the worker's synchronous calls; DoTransfer() runs on the
// worker and throws PMyExcpt on failure.
class MyAbstructTransfer : boost::noncopyable {
public:
    virtual ~MyAbstructTransfer();

    // false: drop the task without running it.
    virtual bool BeforeTransfer() = 0;
    // true: keep the task; it goes to the end of the list and runs again.
    virtual bool AfterTransfer() = 0;
    virtual void DoTransfer() = 0;
    // Shown in the main window while the task runs.
    virtual std::string Description() const;
};

typedef boost::shared_ptr<MyAbstructTransfer> PMyAbstructTransfer;

// The tasks of the polling engine. The main thread adds to two pending lists;
// the worker takes tasks from the working list, and the pending lists are
// merged into it on the main thread while the worker waits in a synchronous
// call. So the two threads never touch the same list at the same time and
// no lock is needed.
class TaskList : boost::noncopyable {
public:
    // Constructed on the main thread.
    TaskList();

    // Main thread only.
    void PushBack(const PMyAbstructTransfer& task);
    void PushFront(const PMyAbstructTransfer& task);
    void Clear();

    // Main thread, serving a synchronous call of the worker: the pending
    // lists go in front of and behind the working list.
    void Merge();

    // The worker, or the main thread serving its synchronous call.
    PMyAbstructTransfer Front() const;
    void PopFront();
    void Requeue(const PMyAbstructTransfer& task);

    // All three lists empty. The worker asks it inside the synchronous call
    // of the merge, so no addition of the main thread can slip in between.
    bool IsEmpty() const;

private:
    typedef std::list<PMyAbstructTransfer> Tasks;

    void AssertWorkingListAccess() const;

    Tasks tasks_;
    Tasks pushedFront_;
    Tasks pushedBack_;
    const my::ThreadId mainFormThreadId_;
};
