#include "DevSys/TransferManage.h"

#include "Application/ConsolePrint.h"
#include "BusStats/BusStats.h"
#include "ComPort/RS232Modbus.h"
#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "VCLUtils/AutoQuote.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/TickCount.h"
#include "VCLUtils/myThread.h"
#include "uFrmWait.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

namespace {

const char PrioritySection[] = "Трансфер";
const char PriorityKey[] = "приоритет_второго_потока";
const int DefaultPriority = my::tpLowest;
const uint32_t ErrorPauseMs = 1000;

TransferManagerT* instance = nullptr;

} // namespace

class TransferManagerT::Impl : boost::noncopyable {
public:
    Impl();
    ~Impl();

    void StartThread();
    void StopThread();
    void ConfigurePort();
    void ApplyTimings(const LinkTimings& timings);
    void WithWorkerPaused(const std::function<void()>& change);
    bool IsStopRequested() const { return StopRequested(); }
    void CountFailure(uint8_t slave, const PMyExcpt& e);
    int32_t Exchange(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin, const uint8_t* txdEnd,
                     const uint8_t** rxdBegin, const uint8_t** rxdEnd);
    void Notify(const TransmitionItemTag& tag);

    // Declared in this order on purpose: the tracer's lines open and close
    // the engine's life, and the tasks go before the link closes the port.
    const boost::shared_ptr<myIO::AutoQuote> tracer_;
    const boost::shared_ptr<my::Thread> thr_;
    const boost::shared_ptr<RS232ModbusT> link_;
    TaskList taskList_;
    TReportStateSignal reportStateSignal_;
    TNotifyTransmitionSignal notifyTransmitionSignal_;
    PMyExcpt lastError_;

private:
    // Set by StopThread before it asks the worker to end, so that the
    // worker's pauses end at once instead of waking every millisecond to
    // look at the thread's flag.
    std::mutex stopMutex_;
    std::condition_variable stopWake_;
    std::atomic<bool> stopping_{false};

    struct Next {
        PMyAbstructTransfer task;
        bool noWorkLeft = false;
    };

    static void Execute(void* self);
    void Run();
    Next BetweenTurns(bool turnDone);
    bool BeforeStep(const PMyAbstructTransfer& curentTask);
    void AfterStep();
    void ErrorStep();
    void ErrorReport();
    void Pause(uint32_t ms);
    bool StopRequested() const { return stopping_ || thr_->GetTerminated(); }
    void RequestStop();
    void ReportState(unsigned code, const std::string& text);
    void ReportStateSynchronized(unsigned code, const std::string& text);
    static my::ThreadPriority ReadPriority();
    void SavePriority();
};

TransferManagerT::Impl::Impl()
    : tracer_(new myIO::AutoQuote("MyTransfer::Manager.[members]")),
      thr_(new my::Thread(&Execute, this, my::tpNormal)),
      link_(new RS232ModbusT)
{
    myIO::AutoQuote trace("TransferManagerT::Impl::Impl");
    thr_->SetPriority(ReadPriority());
    link_->SetStopRequested([this] { return StopRequested(); });
    link_->SetStopWait([this](uint32_t ms) { Pause(ms); });
    link_->SetReportState(
        [this](int32_t code, const std::string& text) { ReportStateSynchronized(static_cast<unsigned>(code), text); });
}

TransferManagerT::Impl::~Impl()
{
    myIO::AutoQuote trace("TransferManagerT::Impl::~Impl");
    try {
        SavePriority();
        reportStateSignal_.Clear();
        MY_ASSERT_M(thr_->WasStoped(), "thr_->WasStoped()");
    } catch (...) {
        MY_ASSERT_M(false, "false");
    }
}

// A "config.ini" that cannot be written must not end the program on its
// way out: the link's settings and the console log are still to be saved.
void TransferManagerT::Impl::SavePriority()
{
    try {
        GetConfigIni().WriteInteger(PrioritySection, PriorityKey, thr_->GetPriority());
    } catch (...) {
        ConsolePrint(FormatExceptionChain(CurrentExceptionToPMyExcpt(FILE_LINE).get()) + "\n");
    }
}

// A value outside the thread's levels would silently mean "time critical";
// it gives the default instead.
my::ThreadPriority TransferManagerT::Impl::ReadPriority()
{
    const int level = GetConfigIni().ReadInteger(PrioritySection, PriorityKey, DefaultPriority);
    return static_cast<my::ThreadPriority>(level >= my::tpIdle && level <= my::tpTimeCritical ? level
                                                                                              : DefaultPriority);
}

void TransferManagerT::Impl::StartThread()
{
    myIO::AutoQuote trace("TransferManagerT::Impl::StartThread");
    ModuleImpl::Instance();
    lastError_.reset();
    if (thr_->WasStoped())
        stopping_ = false;
    thr_->Start();
}

void TransferManagerT::Impl::StopThread()
{
    myIO::AutoQuote trace("TransferManagerT::Impl::StopThread");
    const std::unique_ptr<TFrmWait> wait(new TFrmWait);
    wait->show();
    wait->repaint();
    const my::ThreadPriority priority = thr_->GetPriority();
    thr_->SetPriority(my::tpTimeCritical);
    RequestStop();
    thr_->Stop();
    thr_->SetPriority(priority);
    lastError_.reset();
}

void TransferManagerT::Impl::ConfigurePort()
{
    WithWorkerPaused([this] { link_->ShowSettingsDialog(); });
}

void TransferManagerT::Impl::ApplyTimings(const LinkTimings& timings)
{
    WithWorkerPaused([this, &timings] {
        PortDialogValues v = link_->DialogValues();
        v.timeOut = std::to_string(timings.timeOut);
        v.writeDelay = std::to_string(timings.writeDelay);
        v.silentTime = std::to_string(timings.silentTime);
        link_->ApplyDialogValues(v);
    });
}

// The link's settings change only while the worker does not exchange.
// Whatever the change ends with, the polling it paused goes on.
void TransferManagerT::Impl::WithWorkerPaused(const std::function<void()>& change)
{
    const bool wasRunning = !thr_->GetTerminated();
    if (wasRunning)
        StopThread();
    try {
        change();
    } catch (...) {
        if (wasRunning)
            StartThread();
        throw;
    }
    if (wasRunning)
        StartThread();
}

void TransferManagerT::Impl::Execute(void* self) { static_cast<Impl*>(self)->Run(); }

void TransferManagerT::Impl::Run()
{
    myIO::AutoQuote trace("TransferManagerT::Impl::Execute");
    ReportStateSynchronized(4, "Опрос: старт");
    Next next = BetweenTurns(false);
    while (!StopRequested()) {
        if (!next.task && next.noWorkLeft)
            break;
        bool exchanged = false;
        try {
            if (next.task) {
                next.task->DoTransfer();
                exchanged = true;
            }
        } catch (...) {
            ErrorStep();
            Pause(ErrorPauseMs);
        }
        // A stop request leaves the task at the head of the list, so it is
        // neither lost nor dropped from the rotation: it runs again from
        // BeforeTransfer() at the next start.
        if (StopRequested())
            break;
        next = BetweenTurns(exchanged);
    }
    next.task.reset();
    my::SynchronizedPrint("Опрос остановлен.\n");
    ReportStateSynchronized(5, "Опрос остановлен");
}

// The main thread's part between two turns, in one synchronous call: the
// end of the turn whose exchanges are done, the merge of what was added
// meanwhile, the beginning of the next turn. The windows see the steps in
// the same order as when each was a call of its own; user input cannot
// come in between, as it can come in just before or after them. The main
// thread changes the stop flag only outside such calls, so one test of it
// covers the whole call. The merge and the emptiness test happen in the same
// call: the main thread adds tasks only outside such calls, so a task added
// before the worker decides to end is always merged and run in this run.
TransferManagerT::Impl::Next TransferManagerT::Impl::BetweenTurns(bool turnDone)
{
    MY_ASSERT_M(thr_, "thr_");
    Next next;
    if (StopRequested())
        return next;
    my::Synchronize([this, turnDone, &next] {
        if (StopRequested())
            return;
        if (turnDone)
            AfterStep();
        for (;;) {
            taskList_.Merge();
            next.task = taskList_.Front();
            next.noWorkLeft = taskList_.IsEmpty();
            if (!next.task || BeforeStep(next.task))
                return;
            taskList_.PopFront();
        }
    });
    return next;
}

bool TransferManagerT::Impl::BeforeStep(const PMyAbstructTransfer& curentTask)
{
    MY_ASSERT_M(curentTask, "curentTask");
    const bool ok = curentTask->BeforeTransfer();
    if (ok)
        reportStateSignal_.SetSignal(0, curentTask->Description());
    return ok;
}

// The task goes to the tail of the list when it wants to run again.
void TransferManagerT::Impl::AfterStep()
{
    const PMyAbstructTransfer curentTask = taskList_.Front();
    MY_ASSERT_M(curentTask.get() != nullptr, "curentTask.get() != NULL");
    reportStateSignal_.SetSignal(1, curentTask->Description());
    lastError_.reset();
    if (curentTask->AfterTransfer())
        taskList_.Requeue(curentTask);
    taskList_.PopFront();
}

void TransferManagerT::Impl::ErrorStep()
{
    const PMyExcpt e = CurrentExceptionToPMyExcpt(FILE_LINE);
    // A failure of the port itself (a pulled adapter, a port taken away)
    // needs a fresh open; the next exchange reconnects.
    if (InnermostException(e.get())->Where().file == "CommUtils.cpp")
        link_->ClosePort();
    lastError_ = e;
    my::Synchronize([this] { ErrorReport(); });
}

// Errors that a stop request caused are not the user's business.
void TransferManagerT::Impl::ErrorReport()
{
    if (StopRequested() || !lastError_)
        return;
    my::SynchronizedPrint("Ошибка - " + InnermostException(lastError_.get())->Message() + "\n");
    reportStateSignal_.SetSignal(3, lastError_->Message());
}

void TransferManagerT::Impl::RequestStop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_ = true;
    }
    stopWake_.notify_all();
}

// A stop request ends the pause at once.
void TransferManagerT::Impl::Pause(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(stopMutex_);
    stopWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return StopRequested(); });
}

void TransferManagerT::Impl::ReportState(unsigned code, const std::string& text)
{
    reportStateSignal_.SetSignal(code, text);
}

void TransferManagerT::Impl::ReportStateSynchronized(unsigned code, const std::string& text)
{
    my::AdptCall2 call(*this, &Impl::ReportState, code, text);
    my::Synchronize(&decltype(call)::Call, &call);
}

// The windows only look at an exchange, they never answer it, so the worker
// does not wait for them: the notification is posted, in order with the
// synchronous calls, with copies of the bytes its ranges show.
void TransferManagerT::Impl::Notify(const TransmitionItemTag& tag)
{
    typedef std::vector<uint8_t> Bytes;
    my::Post([this, tag, txd = Bytes(tag.txdBegin, tag.txdEnd), rxd = Bytes(tag.rxdBegin, tag.rxdEnd)] {
        // An empty range is still a range; a validated answer's is never null.
        static const uint8_t noData = 0;
        TransmitionItemTag copy = tag;
        copy.txdBegin = txd.empty() ? &noData : txd.data();
        copy.txdEnd = copy.txdBegin + txd.size();
        if (tag.rxdBegin) {
            copy.rxdBegin = rxd.empty() ? &noData : rxd.data();
            copy.rxdEnd = copy.rxdBegin + rxd.size();
        }
        notifyTransmitionSignal_.SetSignal(copy);
    });
}

// An answer that failed its checks; other failures (the port, a stop) are
// no answer's doing.
void TransferManagerT::Impl::CountFailure(uint8_t slave, const PMyExcpt& e)
{
    if (StopRequested() || slave == 0 || !dynamic_cast<const MyTransferBadAnswerException*>(e.get()))
        return;
    BusStats::Outcome outcome = BusStats::Outcome::FaultyAnswer;
    if (dynamic_cast<const MyTransferNoAnswerException*>(e.get()))
        outcome = BusStats::Outcome::NoAnswer;
    else if (dynamic_cast<const MyTransferBadCRC16Exception*>(e.get()))
        outcome = BusStats::Outcome::BadCrc;
    BusStats::Counter::Instance().Record(slave, outcome, link_->LastLatencyMs());
}

int32_t TransferManagerT::Impl::Exchange(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin,
                                         const uint8_t* txdEnd, const uint8_t** rxdBegin, const uint8_t** rxdEnd)
{
    TransmitionItemTag tag{slave, cmd, txdBegin, txdEnd, nullptr, nullptr, true, false, true};
    Notify(tag);
    tag.done = true;
    tag.begin = false;
    *rxdBegin = nullptr;
    *rxdEnd = nullptr;
    int32_t result = 0;
    try {
        result = link_->Exchange(slave, cmd, txdBegin, txdEnd, rxdBegin, rxdEnd);
    } catch (...) {
        const PMyExcpt e = CurrentExceptionToPMyExcpt(FILE_LINE);
        CountFailure(slave, e);
        if (dynamic_cast<const MyTransferNoAnswerException*>(e.get()))
            Notify(tag);
        throw e;
    }
    if (!StopRequested() && slave != 0)
        BusStats::Counter::Instance().Record(
            slave, result ? BusStats::Outcome::ExceptionAnswer : BusStats::Outcome::Answer, link_->LastLatencyMs());
    if (!StopRequested()) {
        tag.error = false;
        tag.rxdBegin = *rxdBegin;
        tag.rxdEnd = *rxdEnd;
        Notify(tag);
    }
    return result;
}

TransferManagerT::TransferManagerT() : impl_(new Impl) {}

TransferManagerT::~TransferManagerT() = default;

TransferManagerT& TransferManagerT::Instance()
{
    if (!instance) {
        MY_ASSERT(my::IsMainThread());
        instance = new TransferManagerT;
    }
    return *instance;
}

void TransferManagerT::DeleteInstance()
{
    delete instance;
    instance = nullptr;
}

bool TransferManagerT::Exists() { return instance != nullptr; }

void TransferManagerT::AddTask(MyAbstructTransfer* task, bool append)
{
    const PMyAbstructTransfer p(task);
    if (append)
        impl_->taskList_.PushBack(p);
    else
        impl_->taskList_.PushFront(p);
}

void TransferManagerT::StartThread() { impl_->StartThread(); }
void TransferManagerT::StopThread() { impl_->StopThread(); }
bool TransferManagerT::IsThreadRunning() const { return !impl_->thr_->WasStoped(); }
void TransferManagerT::ConfigurePort() { impl_->ConfigurePort(); }
void TransferManagerT::ApplyTimings(const LinkTimings& timings) { impl_->ApplyTimings(timings); }
TaskList& TransferManagerT::Tasks() { return impl_->taskList_; }
boost::shared_ptr<const AnswerProgress> TransferManagerT::LinkProgress() const { return impl_->link_->Progress(); }
TReportStateSignal& TransferManagerT::ReportStateSignal() { return impl_->reportStateSignal_; }
TNotifyTransmitionSignal& TransferManagerT::NotifyTransmitionSignal() { return impl_->notifyTransmitionSignal_; }

void TransferManagerT::NotifyUnanswered(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin, const uint8_t* txdEnd)
{
    MY_ASSERT(instance);
    instance->impl_->Notify(TransmitionItemTag{slave, cmd, txdBegin, txdEnd, nullptr, nullptr, false, true, true});
}

bool TransferManagerT::StopRequested() { return instance && instance->impl_->IsStopRequested(); }

int32_t TransferManagerT::Exchange(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin, const uint8_t* txdEnd,
                                   const uint8_t** rxdBegin, const uint8_t** rxdEnd)
{
    MY_ASSERT(instance);
    return instance->impl_->Exchange(slave, cmd, txdBegin, txdEnd, rxdBegin, rxdEnd);
}

LinkTimings TransferManagerT::Timings()
{
    MY_ASSERT(instance);
    return instance->impl_->link_->Timings();
}

void TransferManagerT::UseTimings(const LinkTimings& timings)
{
    MY_ASSERT(instance);
    instance->impl_->link_->SetTimings(timings);
}

LineFraming TransferManagerT::Framing()
{
    MY_ASSERT(instance);
    return instance->impl_->link_->Framing();
}

int32_t TransferManagerT::LastLatencyMs()
{
    MY_ASSERT(instance);
    return instance->impl_->link_->LastLatencyMs();
}

int64_t TransferManagerT::LastRequestGapUs()
{
    MY_ASSERT(instance);
    return instance->impl_->link_->LastRequestGapUs();
}
