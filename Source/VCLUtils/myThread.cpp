#include "VCLUtils/myThread.h"

#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/MyThreadState.h"

#include <algorithm>

namespace my {

namespace {

QThread::Priority ToQtPriority(ThreadPriority level)
{
    return static_cast<QThread::Priority>(std::min<ThreadPriority>(level, tpTimeCritical));
}

} // namespace

class Thread::Impl : boost::noncopyable {
public:
    Impl(Procedure threadProcedure, void* arg, ThreadPriority priority)
        : threadProcedure_(threadProcedure), arg_(arg), priority_(priority)
    {
    }
    ~Impl();

    void Start();
    void Stop();
    void SetPriority(ThreadPriority level);

    Procedure const threadProcedure_;
    void* const arg_;
    boost::shared_ptr<TMyVCLThread> my_thr_;
    MyThreadState state_;
    ThreadPriority priority_;

private:
    static void Body(void* self);
};

void Thread::Impl::Start()
{
    if (!state_.WasStoped())
        return;
    MY_ASSERT(state_.GetTerminated());
    MY_ASSERT(threadProcedure_);
    // The end of every run wakes the stop wait through the module, which is
    // created here, on the main thread, if not yet.
    MY_ASSERT(ModuleImpl::Instance().MainThreadId() == CurrentThreadId());
    // Replacing the object of the previous start waits for its platform
    // thread, which is past its procedure already.
    my_thr_.reset(new TMyVCLThread(&Impl::Body, this));
    my_thr_->SetPriority(priority_);
    // Running from now, not from the first step of the new thread: a Stop()
    // issued before the thread gets going must not find it idle.
    state_.SetState(false, false);
    my_thr_->Resume();
    if (!my_thr_->isRunning() && !my_thr_->isFinished()) {
        state_.SetState(true, true);
        throw PMyExcpt(new MyExternalException(FILE_LINE, "Не удалось создать поток!"));
    }
}

void Thread::Impl::Body(void* self)
{
    Impl& impl = *static_cast<Impl*>(self);
    MY_ASSERT(impl.my_thr_);
    MY_ASSERT(impl.threadProcedure_);
    try {
        impl.threadProcedure_(impl.arg_);
    } catch (...) {
        // The procedure reports its own errors; the thread just ends.
    }
    impl.state_.SetState(true, true);
    // impl may be gone from here on: the main thread can see the idle state
    // at once and free it.
    ModuleImpl::Instance().WakeServer();
}

void Thread::Impl::Stop()
{
    if (state_.WasStoped())
        return;
    state_.SetTerminated(true);
    ModuleImpl::Instance().ServeCallsUntil([this] { return state_.WasStoped(); });
    my_thr_->wait();
}

void Thread::Impl::SetPriority(ThreadPriority level)
{
    priority_ = level;
    if (my_thr_)
        my_thr_->SetPriority(level);
}

Thread::Impl::~Impl()
{
    // Killing the thread would leave its locks and the caller's stack in
    // an unknown state; an owner that forgot Stop() gets the orderly one.
    Stop();
    // Before the state goes: the platform thread must be completely over.
    my_thr_.reset();
}

Thread::Thread(Procedure threadProcedure, void* arg, ThreadPriority priority)
    : impl_(new Impl(threadProcedure, arg, priority))
{
}

Thread::~Thread() = default;

void Thread::Start() { impl_->Start(); }

void Thread::Stop() { impl_->Stop(); }

bool Thread::WasStoped() const { return impl_->state_.WasStoped(); }

bool Thread::GetTerminated() const { return impl_->state_.GetTerminated(); }

void Thread::SetPriority(ThreadPriority level) { impl_->SetPriority(level); }

ThreadPriority Thread::GetPriority() const { return impl_->priority_; }

TMyVCLThread::TMyVCLThread(Body body, void* arg) : body_(body), arg_(arg), priority_(tpNormal) {}

TMyVCLThread::~TMyVCLThread() { wait(); }

void TMyVCLThread::SetPriority(ThreadPriority level)
{
    priority_ = level;
    // QThread ignores a priority set before start; Resume() passes it.
    if (isRunning())
        setPriority(ToQtPriority(level));
}

void TMyVCLThread::Resume() { start(ToQtPriority(priority_)); }

void TMyVCLThread::run() { body_(arg_); }

} // namespace my
