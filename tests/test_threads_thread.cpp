#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/myThread.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

// The worker thread's life without an event loop: starts, stops, restarts,
// priorities. Calls onto the main thread are in wtest_threads_sync.cpp.

namespace {

bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// What the procedure saw, and what lets it go on.
struct Probe {
    my::Thread* thread = nullptr;
    std::atomic<int> runs{0};
    std::atomic<QThread*> platform{nullptr};
    std::atomic<int> priority{-1};
    std::atomic<bool> release{false};
    std::atomic<bool> ended{false};
    std::function<void()> work;
};

Probe& ProbeOf(void* arg) { return *static_cast<Probe*>(arg); }

void Enter(Probe& p)
{
    ++p.runs;
    p.platform = QThread::currentThread();
    p.priority = QThread::currentThread()->priority();
}

void ReturnAtOnce(void* arg) { Enter(ProbeOf(arg)); }

void RunUntilTerminated(void* arg)
{
    Probe& p = ProbeOf(arg);
    Enter(p);
    while (!p.thread->GetTerminated())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    p.ended = true;
}

void WaitForRelease(void* arg)
{
    Probe& p = ProbeOf(arg);
    while (!p.release)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    Enter(p);
}

void DoWork(void* arg)
{
    Probe& p = ProbeOf(arg);
    Enter(p);
    p.work();
}

class ThreadTest : public ::testing::Test {
protected:
    void Make(my::Thread::Procedure proc, my::ThreadPriority priority = my::tpNormal)
    {
        thread.reset(new my::Thread(proc, &probe, priority));
        probe.thread = thread.get();
    }
    bool WaitStopped()
    {
        return WaitUntil([this] { return thread->WasStoped(); });
    }
    void ExpectIdle()
    {
        EXPECT_TRUE(thread->WasStoped());
        EXPECT_TRUE(thread->GetTerminated());
    }

    Probe probe;
    std::unique_ptr<my::Thread> thread;
};

} // namespace

TEST_F(ThreadTest, IdleUntilStartedAndStopReturnsAtOnce)
{
    Make(&RunUntilTerminated, my::tpHigher);
    ExpectIdle();
    EXPECT_EQ(thread->GetPriority(), my::tpHigher);
    thread->Stop();
    ExpectIdle();
    EXPECT_EQ(probe.runs, 0);
}

TEST_F(ThreadTest, StartCountsAsRunningBeforeItReturnsAndAgainDoesNothing)
{
    Make(&WaitForRelease);
    thread->Start();
    // However late the new thread gets going.
    EXPECT_FALSE(thread->WasStoped());
    EXPECT_FALSE(thread->GetTerminated());
    thread->Start();
    probe.release = true;
    ASSERT_TRUE(WaitStopped());
    ExpectIdle();
    EXPECT_EQ(probe.runs, 1);
}

TEST_F(ThreadTest, StopRightAfterStartAlwaysStops)
{
    Make(&RunUntilTerminated);
    const int rounds = 300;
    for (int i = 0; i < rounds; ++i) {
        thread->Start();
        thread->Stop();
        ASSERT_TRUE(thread->WasStoped()) << "round " << i;
        ASSERT_TRUE(thread->GetTerminated()) << "round " << i;
        ASSERT_TRUE(probe.ended) << "round " << i;
        probe.ended = false;
    }
    EXPECT_EQ(probe.runs, rounds);
}

TEST_F(ThreadTest, ProcedureThatReturnsLeavesIdleAndRunsAgainOnANewThread)
{
    Make(&ReturnAtOnce);
    thread->Start();
    ASSERT_TRUE(WaitStopped());
    ExpectIdle();
    QThread* const first = probe.platform;
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, QThread::currentThread());
    thread->Stop();

    thread->Start();
    ASSERT_TRUE(WaitStopped());
    ExpectIdle();
    EXPECT_EQ(probe.runs, 2);
    EXPECT_NE(probe.platform.load(), first);
}

TEST_F(ThreadTest, ExceptionsFromTheProcedureEndItQuietly)
{
    const struct {
        const char* what;
        std::function<void()> throwIt;
    } cases[] = {
        {"PMyExcpt", [] { throw PMyExcpt(new MyException(FILE_LINE, "task failed")); }},
        {"std::exception", [] { throw std::runtime_error("task failed"); }},
        {"anything else", [] { throw 42; }},
    };
    Make(&DoWork);
    for (const auto& c : cases) {
        probe.work = c.throwIt;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        thread->Start();
        const bool stopped = WaitStopped();
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(stopped) << c.what;
        ExpectIdle();
        EXPECT_EQ(out, "") << c.what;
        EXPECT_EQ(err, "") << c.what;
    }
    EXPECT_EQ(probe.runs, 3);
}

TEST_F(ThreadTest, PriorityGivenBeforeTheStartAppliesAtTheStart)
{
    for (int level = my::tpIdle; level <= my::tpTimeCritical; ++level) {
        Make(&ReturnAtOnce, my::tpNormal);
        thread->SetPriority(static_cast<my::ThreadPriority>(level));
        EXPECT_EQ(thread->GetPriority(), level);
        thread->Start();
        ASSERT_TRUE(WaitStopped());
        EXPECT_EQ(probe.priority, level) << "level " << level;
    }
    // The constructor's level, and a value beyond the scale (an INI file
    // may hold anything): kept as given, run at the top level.
    Make(&ReturnAtOnce, my::tpLowest);
    thread->Start();
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(probe.priority, QThread::LowestPriority);
    thread->SetPriority(9);
    thread->Start();
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(thread->GetPriority(), 9);
    EXPECT_EQ(probe.priority, QThread::TimeCriticalPriority);
}

TEST_F(ThreadTest, PrioritySetWhileRunningReachesTheRunningThread)
{
    Make(&WaitForRelease, my::tpNormal);
    thread->Start();
    thread->SetPriority(my::tpHighest);
    probe.release = true;
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(probe.priority, QThread::HighestPriority);
}

TEST_F(ThreadTest, DestroyingARunningThreadStopsIt)
{
    Make(&RunUntilTerminated);
    thread->Start();
    ASSERT_TRUE(WaitUntil([this] { return probe.runs == 1; }));
    thread.reset();
    EXPECT_TRUE(probe.ended);
}
