#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/TsanAnnotations.h"

#include "Application/ConsolePrint.h"
#include "Excpt/FatalError.h"
#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include <unistd.h>

namespace {

// The number of the request message of the Windows program (WM_USER + 1000).
const QEvent::Type SyncCallEvent = static_cast<QEvent::Type>(2024);

thread_local bool servingCall = false;

// Sets the "serving a call" flag of this thread for one served call; nested
// calls (a served call that opens a dialog which serves another) restore it.
class ServingScope {
public:
    ServingScope() : previous_(servingCall) { servingCall = true; }
    ~ServingScope() { servingCall = previous_; }
    ServingScope(const ServingScope&) = delete;
    ServingScope& operator=(const ServingScope&) = delete;

private:
    const bool previous_;
};

bool IsProcessMainThread() { return static_cast<pid_t>(my::CurrentThreadId()) == ::getpid(); }

#if defined(__SANITIZE_THREAD__)
// Every event delivered on this thread, before any application event
// filter reads it: a filter sees the wake-up a caller posted before the
// receiver does. data is {receiver, event, result}; false lets the
// delivery go on.
bool AcquireDeliveredEvent(void** data)
{
    MY_TSAN_ACQUIRE(data[1]);
    return false;
}
#endif

} // namespace

namespace my {

ThreadId CurrentThreadId()
{
    thread_local const ThreadId id = static_cast<ThreadId>(::gettid());
    return id;
}

ThreadId MainThreadId() { return ModuleImpl::Instance().MainThreadId(); }

bool IsMainThread() { return CurrentThreadId() == MainThreadId(); }

bool InSendMessage() { return servingCall; }

std::int32_t Synchronize(SyncFn fn, void* arg) { return ModuleImpl::Instance().Call(fn, arg); }

std::int32_t Synchronize(SyncTextFn fn, const std::string& text)
{
    AdptCall1 call(fn, text);
    return Synchronize(&decltype(call)::Call, &call);
}

void SynchronizedPrint(const std::string& text) { Synchronize(&ConsolePrint, text); }

void Post(std::function<void()> fn) { ModuleImpl::Instance().Post(std::move(fn)); }

} // namespace my

// One call of another thread: a synchronous one lives on that thread's
// stack until it is done; a posted one is the queue's until it has run.
struct ModuleImpl::Request {
    my::SyncFn fn;
    void* arg;
    std::int32_t result;
    bool done;
    std::function<void()> posted;
};

// The waiting calls in the order they were made, and the two wake-ups: the
// callers wait for their call to be done, the stop wait for a new call.
struct ModuleImpl::Queue {
    std::mutex mutex;
    std::deque<Request*> pending;
    std::condition_variable callDone;
    std::condition_variable callWaiting;
};

// Lives on the main thread; each call posts it a wake-up event, which the
// main thread's event loop delivers wherever it runs (also in modal loops).
class ModuleImpl::Receiver : public QObject {
public:
    explicit Receiver(ModuleImpl& module) : module_(module) {}

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != SyncCallEvent)
            return QObject::event(e);
        // The stop wait may have served the call already.
        module_.ServePending();
        return true;
    }

private:
    ModuleImpl& module_;
};

ModuleImpl& ModuleImpl::Instance()
{
    static ModuleImpl* const instance = new ModuleImpl;
    return *instance;
}

ModuleImpl::ModuleImpl()
    : mainThreadId_(my::CurrentThreadId()), queue_(new Queue), receiver_(new Receiver(*this))
{
    // Qt's main thread and this module's must be the same: the one that runs
    // the event loop.
    MY_ASSERT(IsProcessMainThread());
#if defined(__SANITIZE_THREAD__)
    QInternal::registerCallback(QInternal::EventNotifyCallback, &AcquireDeliveredEvent);
#endif
}

ModuleImpl::~ModuleImpl() = default;

std::int32_t ModuleImpl::Call(my::SyncFn fn, void* arg)
{
    if (my::CurrentThreadId() == mainThreadId_)
        return fn(arg);
    Request r{fn, arg, 0, false, {}};
    Enqueue(&r);
    std::unique_lock<std::mutex> lock(queue_->mutex);
    queue_->callDone.wait(lock, [&r] { return r.done; });
    return r.result;
}

void ModuleImpl::Post(std::function<void()> fn)
{
    if (my::CurrentThreadId() == mainThreadId_) {
        fn();
        return;
    }
    auto* r = new Request{nullptr, nullptr, 0, false, std::move(fn)};
    r->fn = [](void* posted) {
        (*static_cast<std::function<void()>*>(posted))();
        return std::int32_t{0};
    };
    r->arg = &r->posted;
    Enqueue(r);
}

void ModuleImpl::Enqueue(Request* r)
{
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(queue_->mutex);
        wasEmpty = queue_->pending.empty();
        queue_->pending.push_back(r);
    }
    queue_->callWaiting.notify_all();
    if (!wasEmpty)
        return;
    QEvent* const wake = new QEvent(SyncCallEvent);
    MY_TSAN_RELEASE(wake);
    QCoreApplication::postEvent(receiver_, wake);
}

bool ModuleImpl::ServePending()
{
    MY_ASSERT(my::CurrentThreadId() == mainThreadId_);
    bool served = false;
    for (;;) {
        Request* r = nullptr;
        {
            std::lock_guard<std::mutex> lock(queue_->mutex);
            if (queue_->pending.empty())
                return served;
            r = queue_->pending.front();
            queue_->pending.pop_front();
        }
        if (r->posted) {
            const std::unique_ptr<Request> posted(r);
            WndProc(*posted);
        } else {
            Complete(*r, WndProc(*r));
        }
        served = true;
    }
}

void ModuleImpl::ServeCallsUntil(const std::function<bool()>& done)
{
    MY_ASSERT(my::CurrentThreadId() == mainThreadId_);
    for (;;) {
        ServePending();
        // Both conditions are checked under the queue's lock, which callers
        // and WakeServer take before they notify: no wake-up can slip in
        // between the check and the wait.
        std::unique_lock<std::mutex> lock(queue_->mutex);
        if (!queue_->pending.empty())
            continue;
        if (done())
            return;
        queue_->callWaiting.wait(lock);
    }
}

void ModuleImpl::WakeServer()
{
    { std::lock_guard<std::mutex> lock(queue_->mutex); }
    queue_->callWaiting.notify_all();
}

std::int32_t ModuleImpl::WndProc(const Request& r)
{
    ServingScope serving;
    try {
        return r.fn(r.arg);
    } catch (...) {
        // The caller waits for a result and cannot take an exception: an
        // error that escapes is a fault of the program.
        ReportFatalException("ModuleImpl::WndProc", CurrentExceptionToPMyExcpt(FILE_LINE));
    }
}

void ModuleImpl::Complete(Request& r, std::int32_t result)
{
    {
        std::lock_guard<std::mutex> lock(queue_->mutex);
        r.result = result;
        r.done = true;
    }
    // The caller may return and drop r as soon as the lock is free: r is not
    // touched after this point.
    queue_->callDone.notify_all();
}
