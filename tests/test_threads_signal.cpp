#include "TestUtils.h"

#include "VCLUtils/VCLSignal.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

typedef my::VCLSignal::Signal<void(unsigned, const std::string&)> ReportSignal;
typedef my::VCLSignal::Signal<void(int)> CountSignal;

// A window-like subscriber: writes "name:code:text" for every call.
class Listener {
public:
    Listener(std::vector<std::string>& log, const std::string& name) : log_(log), name_(name) {}
    void OnReport(unsigned code, const std::string& text)
    {
        log_.push_back(name_ + ":" + std::to_string(code) + ":" + text);
    }
    void OnOther(unsigned, const std::string&) { log_.push_back(name_ + ":other"); }
    void OnConst(unsigned, const std::string&) const { log_.push_back(name_ + ":const"); }

private:
    std::vector<std::string>& log_;
    const std::string name_;
};

class SignalTest : public ::testing::Test {
protected:
    std::vector<std::string> log;
    ReportSignal signal;
    Listener a{log, "a"};
    Listener b{log, "b"};
    Listener c{log, "c"};
};

} // namespace

TEST_F(SignalTest, CallsHandlersInConnectionOrderWithTheArguments)
{
    const auto tc = signal.Connect(c, &Listener::OnReport);
    const auto ta = signal.Connect(a, &Listener::OnReport);
    const auto tb = signal.Connect(b, &Listener::OnReport);
    signal.SetSignal(3, "Ошибка приёмопередачи");
    EXPECT_EQ(log, (std::vector<std::string>{"c:3:Ошибка приёмопередачи", "a:3:Ошибка приёмопередачи",
                                             "b:3:Ошибка приёмопередачи"}));
}

TEST_F(SignalTest, RaiseWithoutConnectionsDoesNothing)
{
    signal.SetSignal(1, "x");
    EXPECT_TRUE(signal.IsEmpty());
    // The raise left nothing behind: the next one works.
    const auto ta = signal.Connect(a, &Listener::OnReport);
    signal.SetSignal(2, "y");
    EXPECT_EQ(log, std::vector<std::string>{"a:2:y"});
}

TEST_F(SignalTest, HandlerConnectedTwiceRunsTwiceAndOneTokenRemovesBoth)
{
    auto first = signal.Connect(a, &Listener::OnReport);
    auto second = signal.Connect(a, &Listener::OnReport);
    const auto tb = signal.Connect(b, &Listener::OnReport);
    signal.SetSignal(0, "t");
    EXPECT_EQ(log, (std::vector<std::string>{"a:0:t", "a:0:t", "b:0:t"}));

    log.clear();
    first.reset();
    signal.SetSignal(0, "t");
    EXPECT_EQ(log, std::vector<std::string>{"b:0:t"});

    log.clear();
    second.reset();
    signal.SetSignal(0, "t");
    EXPECT_EQ(log, std::vector<std::string>{"b:0:t"});
}

namespace {

// A window whose handler is inherited from its base.
class DerivedListener : public Listener {
public:
    using Listener::Listener;
};

} // namespace

TEST_F(SignalTest, HandlerMayBeAMethodOfABaseClass)
{
    DerivedListener d(log, "d");
    auto td = signal.Connect(d, &DerivedListener::OnReport);
    auto again = signal.Connect(static_cast<Listener&>(d), &Listener::OnReport);
    signal.SetSignal(4, "w");
    EXPECT_EQ(log, (std::vector<std::string>{"d:4:w", "d:4:w"}));
    // The same handler either way: one token removes both.
    td.reset();
    log.clear();
    signal.SetSignal(4, "w");
    EXPECT_TRUE(log.empty());
}

TEST_F(SignalTest, HandlersDifferByObjectAndByMethod)
{
    // Same object, another method; same method, another object; a const
    // method: each is its own handler and survives the removal of the first.
    auto removed = signal.Connect(a, &Listener::OnReport);
    const auto t1 = signal.Connect(a, &Listener::OnOther);
    const auto t2 = signal.Connect(b, &Listener::OnReport);
    const auto t3 = signal.Connect(a, &Listener::OnConst);
    removed.reset();
    signal.SetSignal(5, "z");
    EXPECT_EQ(log, (std::vector<std::string>{"a:other", "b:5:z", "a:const"}));
}

namespace {

// Drops another connection, or makes a new one, from inside a raise.
class Meddler {
public:
    Meddler(ReportSignal& signal, ReportSignal::Connection& victim, Listener& newcomer)
        : signal_(signal), victim_(victim), newcomer_(newcomer)
    {
    }
    void DropVictim(unsigned, const std::string&) { victim_.reset(); }
    void AddNewcomer(unsigned, const std::string&)
    {
        if (!added_)
            added_ = signal_.Connect(newcomer_, &Listener::OnReport);
    }

    ReportSignal::Connection added_;

private:
    ReportSignal& signal_;
    ReportSignal::Connection& victim_;
    Listener& newcomer_;
};

} // namespace

TEST_F(SignalTest, ChangesMadeDuringARaiseCountFromTheNextRaise)
{
    ReportSignal::Connection victim;
    Meddler meddler(signal, victim, c);
    const auto t1 = signal.Connect(meddler, &Meddler::DropVictim);
    const auto t2 = signal.Connect(meddler, &Meddler::AddNewcomer);
    victim = signal.Connect(b, &Listener::OnReport);

    signal.SetSignal(1, "first");
    EXPECT_EQ(log, std::vector<std::string>{"b:1:first"});

    log.clear();
    signal.SetSignal(1, "second");
    EXPECT_EQ(log, std::vector<std::string>{"c:1:second"});
}

TEST_F(SignalTest, HandlerExceptionPassesAndTheSignalStaysUsable)
{
    struct Thrower {
        void Throw(unsigned, const std::string&) { throw std::runtime_error("handler failed"); }
    } thrower;
    auto tt = signal.Connect(thrower, &Thrower::Throw);
    EXPECT_THROW(signal.SetSignal(1, "x"), std::runtime_error);
    tt.reset();
    const auto ta = signal.Connect(a, &Listener::OnReport);
    signal.SetSignal(2, "y");
    EXPECT_EQ(log, std::vector<std::string>{"a:2:y"});
}

TEST_F(SignalTest, ClearDropsEveryConnectionAndTokensStaySafe)
{
    auto ta = signal.Connect(a, &Listener::OnReport);
    signal.Clear();
    signal.SetSignal(1, "x");
    EXPECT_TRUE(log.empty());
    ta.reset();

    // A token that outlives its signal.
    ReportSignal::Connection late;
    {
        ReportSignal shortLived;
        late = shortLived.Connect(a, &Listener::OnReport);
    }
    late.reset();
}

namespace {

// Handlers that raise a signal while a raise is in progress.
struct Reraiser {
    ReportSignal* sameType = nullptr;
    CountSignal* otherType = nullptr;
    std::vector<int> counts;
    void RaiseSameType(unsigned, const std::string&) { sameType->SetSignal(9, "again"); }
    void RaiseOtherType(unsigned, const std::string&) { otherType->SetSignal(7); }
    void OnCount(int n) { counts.push_back(n); }
};

} // namespace

TEST_F(SignalTest, RaisingAnotherSignalTypeFromAHandlerIsAllowed)
{
    CountSignal counts;
    Reraiser r;
    r.otherType = &counts;
    const auto t1 = counts.Connect(r, &Reraiser::OnCount);
    const auto t2 = signal.Connect(r, &Reraiser::RaiseOtherType);
    signal.SetSignal(0, "");
    EXPECT_EQ(r.counts, std::vector<int>{7});
}

TEST(SignalDeathTest, RaisingTheSameTypeFromAHandlerIsAProgrammingError)
{
    ThreadsafeDeathTests style;
    // The flag belongs to the type: another signal object of it counts too.
    for (const bool sameObject : {true, false}) {
        EXPECT_DEATH(
            {
                ReportSignal signal;
                ReportSignal other;
                Reraiser r;
                r.sameType = sameObject ? &signal : &other;
                const auto t = signal.Connect(r, &Reraiser::RaiseSameType);
                signal.SetSignal(0, "");
            },
            "Попытка двукратного вызова Signal::SetSignal!")
            << (sameObject ? "same object" : "another object of the type");
    }
}
