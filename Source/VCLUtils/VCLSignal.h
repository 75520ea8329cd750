#pragma once

#include "Excpt/MyAssert.h"
#include "VCLUtils/MySynchronize.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <algorithm>
#include <cstring>
#include <list>

namespace my {
namespace VCLSignal {

// An object-bound method: an object and one of its methods returning
// nothing. Two handlers are equal when both the object and the method are.
template <class... Args>
class Handler {
public:
    // The method may belong to a base class of the object.
    template <class T, class Base>
    Handler(T& obj, void (Base::*method)(Args...))
        : obj_(static_cast<Base*>(&obj)), ops_(&MethodOps<Base, void (Base::*)(Args...)>::ops)
    {
        Store(method);
    }
    template <class T, class Base>
    Handler(const T& obj, void (Base::*method)(Args...) const)
        : obj_(const_cast<Base*>(static_cast<const Base*>(&obj))),
          ops_(&MethodOps<Base, void (Base::*)(Args...) const>::ops)
    {
        Store(method);
    }

    void operator()(Args... args) const { ops_->call(*this, args...); }

    bool operator==(const Handler& other) const
    {
        return obj_ == other.obj_ && ops_ == other.ops_ && ops_->sameMethod(*this, other);
    }

private:
    // A method pointer of any class, kept as bytes (the Itanium ABI gives
    // every method pointer the same size); the ops know its real type.
    struct AnyClass {};
    typedef void (AnyClass::*AnyMethod)();
    typedef unsigned char MethodBytes[sizeof(AnyMethod)];

    struct Ops {
        void (*call)(const Handler& h, Args... args);
        bool (*sameMethod)(const Handler& a, const Handler& b);
    };

    template <class T, class Method>
    struct MethodOps {
        static Method Get(const Handler& h)
        {
            Method m;
            std::memcpy(&m, h.method_, sizeof m);
            return m;
        }
        static void Call(const Handler& h, Args... args) { (static_cast<T*>(h.obj_)->*Get(h))(args...); }
        static bool Same(const Handler& a, const Handler& b) { return Get(a) == Get(b); }
        static constexpr Ops ops{&Call, &Same};
    };

    template <class Method>
    void Store(Method method)
    {
        static_assert(sizeof(Method) == sizeof(MethodBytes), "unexpected method pointer size");
        std::memcpy(method_, &method, sizeof method);
    }

    void* obj_;
    const Ops* ops_;
    MethodBytes method_;
};

// An ordered list of handlers, raised on the main thread: SetSignal calls
// every handler in the order of connection. The same handler may be
// connected more than once and is then called as often. Connecting returns
// a token; the connection lasts while some owner keeps it. Raising a signal
// of one type from a handler of a signal of the same type is a programming
// error.
template <class Signature>
class Signal;

template <class... Args>
class Signal<void(Args...)> : boost::noncopyable {
public:
    typedef VCLSignal::Handler<Args...> Handler;

private:
    typedef std::list<Handler> HandlerList;

public:
    struct Connections {
        // One connection: appends its handler when created, removes every
        // entry equal to it when destroyed. A token that outlives its
        // signal does nothing.
        class Auto : boost::noncopyable {
        public:
            Auto(Signal& signal, const Handler& handler) : list_(signal.handlers_), handler_(handler)
            {
                signal.handlers_->push_back(handler);
            }
            ~Auto()
            {
                if (boost::shared_ptr<HandlerList> list = list_.lock())
                    list->remove(handler_);
            }

        private:
            const boost::weak_ptr<HandlerList> list_;
            const Handler handler_;
        };
    };
    typedef boost::shared_ptr<typename Connections::Auto> Connection;

    Signal() : handlers_(new HandlerList) {}

    Connection Connect(const Handler& handler)
    {
        MY_ASSERT(IsMainThread());
        return Connection(new typename Connections::Auto(*this, handler));
    }
    template <class T, class Method>
    Connection Connect(T& obj, Method method)
    {
        return Connect(Handler(obj, method));
    }

    // Drops every connection; the tokens stay valid and do nothing.
    void Clear() { handlers_->clear(); }
    bool IsEmpty() const { return handlers_->empty(); }

    void SetSignal(Args... args)
    {
        MY_ASSERT(IsMainThread());
        MY_ASSERT_M(!isProceced_, "Попытка двукратного вызова Signal::SetSignal!");
        Raising raising;
        // Handlers connected or disconnected by a handler count from the
        // next raise.
        const HandlerList copy(*handlers_);
        for (const Handler& h : copy)
            h(args...);
    }

private:
    // Set during a raise of any signal of this type; cleared even when a
    // handler throws, or every later raise would fail the check above.
    class Raising {
    public:
        Raising() { isProceced_ = true; }
        ~Raising() { isProceced_ = false; }
    };

    static inline bool isProceced_ = false;
    const boost::shared_ptr<HandlerList> handlers_;
};

} // namespace VCLSignal
} // namespace my
