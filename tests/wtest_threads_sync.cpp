#include "TestUtils.h"

#include "Application/ConsolePrint.h"
#include "Excpt/FatalError.h"
#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/myThread.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Calls from a worker onto the main thread, served by the event loop, by
// modal loops and by the stop wait.

namespace {

// Runs the main thread's event loop until the condition holds.
bool ServeUntil(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(20000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A worker whose procedure is a lambda, and what its calls saw.
class Worker {
public:
    explicit Worker(std::function<void(my::Thread&)> body) : body_(body), thread_(&Run, this, my::tpNormal) {}
    my::Thread& Thread() { return thread_; }

private:
    static void Run(void* self)
    {
        Worker& w = *static_cast<Worker*>(self);
        w.body_(w.thread_);
    }
    std::function<void(my::Thread&)> body_;
    my::Thread thread_;
};

struct CallSeen {
    std::atomic<my::ThreadId> thread{0};
    std::atomic<bool> inSendMessage{false};
    std::atomic<int> calls{0};
};

std::int32_t Answer(void* arg)
{
    CallSeen& seen = *static_cast<CallSeen*>(arg);
    seen.thread = my::CurrentThreadId();
    seen.inSendMessage = my::InSendMessage();
    ++seen.calls;
    return 1234;
}

} // namespace

TEST(SynchronizeTest, WorkerGetsTheResultOfACallRunOnTheMainThread)
{
    CallSeen seen;
    std::atomic<int> result{0};
    std::atomic<bool> workerInSendMessage{true};
    std::atomic<my::ThreadId> workerId{0};
    Worker worker([&](my::Thread&) {
        workerId = my::CurrentThreadId();
        result = my::Synchronize(&Answer, &seen);
        workerInSendMessage = my::InSendMessage();
    });
    worker.Thread().Start();
    ASSERT_TRUE(ServeUntil([&] { return worker.Thread().WasStoped(); }));
    EXPECT_EQ(result, 1234);
    EXPECT_EQ(seen.thread, my::MainThreadId());
    EXPECT_EQ(seen.thread, my::CurrentThreadId());
    EXPECT_NE(workerId, my::MainThreadId());
    // Only the served call itself counts as serving.
    EXPECT_TRUE(seen.inSendMessage);
    EXPECT_FALSE(workerInSendMessage);
    EXPECT_FALSE(my::InSendMessage());
}

// A posted call does not hold the worker up, and the main thread runs the
// calls in the order they were made, posted or synchronous.
TEST(SynchronizeTest, PostedCallRunsLaterInOrderWithSynchronousOnes)
{
    std::vector<std::string> order; // main thread only
    std::atomic<bool> posted{false};
    std::atomic<bool> ran{false};
    Worker worker([&](my::Thread&) {
        my::Post([&order, text = std::string("first")] { order.push_back(text); });
        posted = true;
        my::Synchronize([&order] { order.push_back("second"); });
        my::Post([&order] { order.push_back("third"); });
        ran = true;
    });
    worker.Thread().Start();
    // Nothing is served meanwhile: a worker that waited for its post would
    // never get here.
    const QDeadlineTimer deadline(20000);
    while (!posted && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(posted);
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(ServeUntil([&] { return ran && order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "third"}));
    ASSERT_TRUE(ServeUntil([&] { return worker.Thread().WasStoped(); }));
}

TEST(SynchronizeTest, CallIsServedWhileAMessageBoxIsOpen)
{
    QMessageBox box(QMessageBox::Information, "КАЛИСТ-8", "Ждём", QMessageBox::Ok);
    std::atomic<bool> servedInsideTheBox{false};
    std::atomic<int> result{0};
    Worker worker([&](my::Thread&) {
        result = my::Synchronize([&] {
            servedInsideTheBox = QApplication::activeModalWidget() == &box;
            box.done(QMessageBox::Ok);
            return 7;
        });
    });
    worker.Thread().Start();
    // The box's own loop is the first event processing after the start.
    box.exec();
    worker.Thread().Stop();
    EXPECT_TRUE(servedInsideTheBox);
    EXPECT_EQ(result, 7);
}

TEST(SynchronizeTest, StopCompletesWhileTheWorkerWaitsInACall)
{
    // The main thread never runs its event loop between Start and Stop, so
    // the worker's call can only be served by the stop wait.
    CallSeen seen;
    std::atomic<bool> aboutToCall{false};
    std::atomic<int> lastResult{0};
    Worker worker([&](my::Thread& self) {
        // At least one call, however early the stop request comes.
        do {
            aboutToCall = true;
            lastResult = my::Synchronize(&Answer, &seen);
        } while (!self.GetTerminated());
    });
    const int rounds = 1000;
    for (int i = 0; i < rounds; ++i) {
        aboutToCall = false;
        lastResult = 0;
        worker.Thread().Start();
        // Every other round the stop comes at once, possibly before the
        // worker has reached its call.
        if (i % 2 == 0)
            while (!aboutToCall)
                std::this_thread::yield();
        worker.Thread().Stop();
        ASSERT_TRUE(worker.Thread().WasStoped()) << "round " << i;
        ASSERT_EQ(lastResult, 1234) << "round " << i;
        ASSERT_EQ(seen.thread, my::MainThreadId()) << "round " << i;
    }
    EXPECT_GE(seen.calls, rounds);
    // The wake-ups of calls served by the stop wait find nothing left to do.
    const int served = seen.calls;
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.calls, served);
}

TEST(SynchronizeTest, StopWaitServesCallsAndNothingElse)
{
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> queuedRanBeforeTheCall{true};
    QMetaObject::invokeMethod(qApp, [&] { queuedRan = true; }, Qt::QueuedConnection);
    Worker worker([&](my::Thread&) {
        my::Synchronize([&] { queuedRanBeforeTheCall = queuedRan.load(); });
    });
    worker.Thread().Start();
    worker.Thread().Stop();
    EXPECT_FALSE(queuedRanBeforeTheCall);
    EXPECT_FALSE(queuedRan);
    ASSERT_TRUE(ServeUntil([&] { return queuedRan.load(); }));
}

TEST(SynchronizeTest, AdaptersHandCopiesToTheMainThread)
{
    struct Report {
        std::atomic<const std::string*> address{nullptr};
        std::string text;
        unsigned code = 0;
        std::int32_t Take(unsigned c, const std::string& t)
        {
            address = &t;
            text = t;
            code = c;
            return 5;
        }
    } report;
    std::atomic<const std::string*> workerText{nullptr};
    std::atomic<int> result{0};
    Worker worker([&](my::Thread&) {
        const std::string text = "Связь установлена";
        workerText = &text;
        my::AdptCall2 call(report, &Report::Take, 1u, text);
        result = my::Synchronize(call);
    });
    worker.Thread().Start();
    ASSERT_TRUE(ServeUntil([&] { return worker.Thread().WasStoped(); }));
    EXPECT_EQ(result, 5);
    EXPECT_EQ(report.code, 1u);
    EXPECT_EQ(report.text, "Связь установлена");
    EXPECT_NE(report.address.load(), workerText.load());
}

namespace {

struct PrintedLine {
    std::string text;
    my::ThreadId thread = 0;
};
std::vector<PrintedLine> printed;

void RecordingSink(const std::string& text) { printed.push_back({text, my::CurrentThreadId()}); }

} // namespace

TEST(SynchronizeTest, SynchronizedPrintWritesOnTheMainThread)
{
    printed.clear();
    SetConsoleSink(&RecordingSink);
    Worker worker([](my::Thread&) {
        my::SynchronizedPrint("Опрос: старт\n");
        my::SynchronizedPrint("без конца строки");
    });
    worker.Thread().Start();
    const bool stopped = ServeUntil([&] { return worker.Thread().WasStoped(); });
    SetConsoleSink(nullptr);
    ASSERT_TRUE(stopped);
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0].text, "Опрос: старт\n");
    EXPECT_EQ(printed[1].text, "без конца строки");
    EXPECT_EQ(printed[0].thread, my::MainThreadId());
    EXPECT_EQ(printed[1].thread, my::MainThreadId());
}

namespace {

void PrintingBox(const std::string& text, const std::string& caption, const std::string& ownerTitle)
{
    std::fprintf(stderr, "caption=[%s] owner=[%s] text=[%s]\n", caption.c_str(), ownerTitle.c_str(),
                 text.c_str());
}

std::int32_t Throw(void*) { throw PMyExcpt(new MyException(FileLine(33, "/src/uFormOpros.cpp"), "окно закрыто")); }

} // namespace

TEST(SynchronizeDeathTest, ExceptionEscapingAServedCallEndsTheProgram)
{
    ThreadsafeDeathTests style;
    // The box is shown, then the process ends with code 1 while the worker
    // still waits for its answer.
    const auto servedCallThrows = [] {
        SetFatalErrorBox(&PrintingBox);
        std::atomic<bool> returned{false};
        Worker worker([&](my::Thread&) {
            my::Synchronize(&Throw, nullptr);
            returned = true;
        });
        worker.Thread().Start();
        ServeUntil([&] { return returned.load(); });
        std::fprintf(stderr, "the worker got an answer\n");
        std::_Exit(0);
    };
    EXPECT_EXIT(servedCallThrows(), ::testing::ExitedWithCode(1),
                "caption=\\[ModuleImpl::WndProc\\] owner=\\[Необработанное исключение\\] "
                "text=\\[Необработанное исключение в ModuleImpl::WndProc!\nuFormOpros.cpp 33 окно закрыто");
}

TEST(SynchronizeDeathTest, ExceptionInACallServedByTheStopWaitEndsTheProgram)
{
    ThreadsafeDeathTests style;
    const auto servedCallThrows = [] {
        Worker worker([](my::Thread&) { my::Synchronize(&Throw, nullptr); });
        worker.Thread().Start();
        worker.Thread().Stop();
        std::_Exit(0);
    };
    EXPECT_EXIT(servedCallThrows(), ::testing::ExitedWithCode(1),
                "Необработанное исключение в ModuleImpl::WndProc!\nuFormOpros.cpp 33 окно закрыто");
}
