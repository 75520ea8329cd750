#pragma once

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

// Synchronous calls onto the main thread. A worker hands a function to the
// main thread and blocks until the main thread has run it; the function's
// result comes back to the worker. The main thread serves such calls in its
// event loop (also inside modal dialogs and message boxes) and while it waits
// for a worker to stop. A call made on the main thread runs at once.

namespace my {

typedef std::uint32_t ThreadId;

// The system's id of the calling thread.
ThreadId CurrentThreadId();
// The thread that took the module first: the main thread.
ThreadId MainThreadId();
bool IsMainThread();

// True while the calling thread runs a synchronous call made by another
// thread (the main thread serving a worker); false everywhere else, also in
// a call the main thread makes to itself.
bool InSendMessage();

typedef std::int32_t (*SyncFn)(void* arg);
typedef std::int32_t (*SyncTextFn)(const std::string& text);

// fn(arg) on the main thread; its result. On the main thread the call is
// direct and exceptions reach the caller. From another thread an exception
// escaping fn is fatal: it is reported and the process ends with code 1.
std::int32_t Synchronize(SyncFn fn, void* arg);
// fn(text) on the main thread, through AdptCall1 (fn gets a copy of text).
std::int32_t Synchronize(SyncTextFn fn, const std::string& text);

// Writes text to the debug console on the main thread and returns when it
// has been written. The way every thread writes to the console.
void SynchronizedPrint(const std::string& text);

// fn() on the main thread without waiting for it: it runs after every call
// made before it and before every call made after it, synchronous or not,
// from any thread. fn must own what it uses. On the main thread it runs at
// once. An exception escaping fn is fatal, as in a synchronous call.
void Post(std::function<void()> fn);

namespace detail {

template <class R>
std::int32_t ToCallResult(R&& r)
{
    return static_cast<std::int32_t>(std::forward<R>(r));
}

template <class Callable>
std::int32_t InvokeForResult(Callable& call)
{
    if constexpr (std::is_void_v<std::invoke_result_t<Callable&>>) {
        call();
        return 0;
    } else {
        return ToCallResult(call());
    }
}

template <class Callable>
std::int32_t CallThunk(void* callable)
{
    return InvokeForResult(*static_cast<Callable*>(callable));
}

} // namespace detail

// call() on the main thread, as Synchronize(fn, arg) does: an adapter below
// or any callable (a lambda). A void result gives 0, a bool gives 0 or 1.
// The callable lives on the caller's stack, which waits for the call.
template <class Callable>
std::int32_t Synchronize(Callable&& call)
{
    typedef std::remove_reference_t<Callable> C;
    return Synchronize(&detail::CallThunk<C>, const_cast<void*>(static_cast<const void*>(&call)));
}

// A function of one argument bound to a copy of that argument, so that the
// call fits the one-pointer form. Lives on the stack of the waiting caller.
template <class Fn, class Arg>
class AdptCall1 {
public:
    AdptCall1(Fn fn, const Arg& arg) : fn_(fn), arg_(arg) {}
    std::int32_t operator()() const { return detail::ToCallResult(fn_(arg_)); }
    static std::int32_t Call(void* self) { return (*static_cast<AdptCall1*>(self))(); }

private:
    Fn fn_;
    const Arg arg_;
};

template <class Fn, class Arg>
AdptCall1(Fn, Arg) -> AdptCall1<Fn, std::decay_t<Arg>>;

// A method of an object, taking two arguments, bound to the object and to
// copies of both arguments.
template <class Obj, class Method, class Arg1, class Arg2>
class AdptCall2 {
public:
    AdptCall2(Obj& obj, Method method, const Arg1& arg1, const Arg2& arg2)
        : obj_(obj), method_(method), arg1_(arg1), arg2_(arg2)
    {
    }
    std::int32_t operator()() const
    {
        if constexpr (std::is_void_v<decltype((obj_.*method_)(arg1_, arg2_))>) {
            (obj_.*method_)(arg1_, arg2_);
            return 0;
        } else {
            return detail::ToCallResult((obj_.*method_)(arg1_, arg2_));
        }
    }
    static std::int32_t Call(void* self) { return (*static_cast<AdptCall2*>(self))(); }

private:
    Obj& obj_;
    Method method_;
    const Arg1 arg1_;
    const Arg2 arg2_;
};

template <class Obj, class Method, class Arg1, class Arg2>
AdptCall2(Obj&, Method, Arg1, Arg2) -> AdptCall2<Obj, Method, std::decay_t<Arg1>, std::decay_t<Arg2>>;

} // namespace my

// The cross-thread call module, one per process, created on first use and
// never destroyed. The thread that uses it first becomes the main thread
// for good, so the first use must be on the main thread (checked).
class ModuleImpl : boost::noncopyable {
public:
    static ModuleImpl& Instance();

    my::ThreadId MainThreadId() const { return mainThreadId_; }

    // What my::Synchronize does.
    std::int32_t Call(my::SyncFn fn, void* arg);
    // What my::Post does.
    void Post(std::function<void()> fn);

    // Main thread: runs the pending calls of other threads, and handles
    // nothing else, until done() is true. done() is checked again after
    // every served call and whenever WakeServer() is called.
    void ServeCallsUntil(const std::function<bool()>& done);
    // Any thread: makes ServeCallsUntil check its condition again.
    void WakeServer();

private:
    ModuleImpl();
    ~ModuleImpl();

    struct Request;
    class Receiver;
    struct Queue;

    // Runs one call for another thread. Named after the window procedure
    // that serves these calls on Windows: the fatal report names it.
    std::int32_t WndProc(const Request& r);
    // Queues a call and wakes the main thread unless a wake-up is still on
    // its way: the main thread serves the whole queue at each wake-up.
    void Enqueue(Request* r);
    // Main thread: runs every call waiting now; false when there was none.
    bool ServePending();
    void Complete(Request& r, std::int32_t result);

    const my::ThreadId mainThreadId_;
    const std::unique_ptr<Queue> queue_;
    Receiver* const receiver_;
};
