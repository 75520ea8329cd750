#pragma once

#include "DevSys/TransferManage.h"
#include "VCLUtils/MySynchronize.h"

#include <QCoreApplication>

#include <atomic>
#include <thread>
#include <vector>

// The queued tasks, taken out of the engine's list the way its worker takes
// them: from another thread, inside a synchronous call. The worker must be
// stopped.
inline std::vector<PMyAbstructTransfer> TakeQueuedTasks()
{
    my::MainThreadId();
    std::vector<PMyAbstructTransfer> tasks;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        my::Synchronize([&] {
            TaskList& list = TransferManagerT::Instance().Tasks();
            list.Merge();
            while (PMyAbstructTransfer task = list.Front()) {
                tasks.push_back(task);
                list.PopFront();
            }
        });
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    return tasks;
}
