#include "TestUtils.h"

#include "DevSys/TaskList.h"
#include "VCLUtils/MySynchronize.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class Named : public MyAbstructTransfer {
public:
    explicit Named(std::string name) : name_(std::move(name)) {}
    bool BeforeTransfer() override { return true; }
    bool AfterTransfer() override { return false; }
    void DoTransfer() override {}
    std::string Description() const override { return name_; }

private:
    const std::string name_;
};

class Unnamed : public MyAbstructTransfer {
public:
    bool BeforeTransfer() override { return true; }
    bool AfterTransfer() override { return false; }
    void DoTransfer() override {}
};

PMyAbstructTransfer Task(const std::string& name) { return PMyAbstructTransfer(new Named(name)); }

// fn on the main thread, serving a synchronous call of another thread, as
// the worker's merge and hooks run.
void AsWorkerCall(const std::function<void()>& fn)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        my::Synchronize([&] { fn(); });
        done = true;
        ModuleImpl::Instance().WakeServer();
    });
    ModuleImpl::Instance().ServeCallsUntil([&] { return done.load(); });
    worker.join();
}

void Merge(TaskList& list)
{
    AsWorkerCall([&] { list.Merge(); });
}

std::vector<std::string> MergeAndDrain(TaskList& list)
{
    std::vector<std::string> names;
    AsWorkerCall([&] {
        list.Merge();
        for (PMyAbstructTransfer t = list.Front(); t; t = list.Front()) {
            names.push_back(t->Description());
            list.PopFront();
        }
    });
    return names;
}

} // namespace

TEST(TaskListTest, MergeGivesFrontAdditionsNewestFirstThenWorkingListThenBackAdditions)
{
    TaskList list;
    list.PushBack(Task("A"));
    Merge(list);
    list.PushFront(Task("B"));
    list.PushFront(Task("C"));
    list.PushBack(Task("D"));
    list.PushBack(Task("E"));
    EXPECT_EQ(MergeAndDrain(list), (std::vector<std::string>{"C", "B", "A", "D", "E"}));
    EXPECT_TRUE(list.IsEmpty());
}

TEST(TaskListTest, MergeWithoutAdditionsAndRequeueKeepTheWorkingListInRotation)
{
    TaskList list;
    list.PushBack(Task("A"));
    list.PushBack(Task("B"));
    Merge(list);
    Merge(list);
    AsWorkerCall([&] {
        const PMyAbstructTransfer head = list.Front();
        list.Requeue(head);
        list.PopFront();
    });
    EXPECT_EQ(MergeAndDrain(list), (std::vector<std::string>{"B", "A"}));
    AsWorkerCall([&] { EXPECT_FALSE(list.Front()); });
}

TEST(TaskListTest, ClearReleasesTasksOfEveryList)
{
    TaskList list;
    const PMyAbstructTransfer working = Task("working"), front = Task("front"), back = Task("back");
    list.PushBack(working);
    Merge(list);
    list.PushFront(front);
    list.PushBack(back);
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(working.use_count(), 1);
    EXPECT_EQ(front.use_count(), 1);
    EXPECT_EQ(back.use_count(), 1);
}

TEST(TaskListTest, DefaultDescriptionIsOneBlank) { EXPECT_EQ(Unnamed().Description(), " "); }

TEST(TaskListDeathTest, ThreadRulesAreEnforced)
{
    ThreadsafeDeathTests style;
    TaskList list;
    const auto onOtherThread = [&](const std::function<void()>& fn) { std::thread(fn).join(); };
    EXPECT_DEATH(onOtherThread([&] { list.PushBack(Task("x")); }), "mainFormThreadId_== GetCurrentThreadId\\(\\)");
    EXPECT_DEATH(onOtherThread([&] { list.PushFront(Task("x")); }), "mainFormThreadId_== GetCurrentThreadId\\(\\)");
    EXPECT_DEATH(onOtherThread([&] { list.Clear(); }), "mainFormThreadId_==GetCurrentThreadId\\(\\)");
    EXPECT_DEATH(list.Merge(), "InSendMessage\\(\\)==TRUE");
    EXPECT_DEATH(list.Front(), "mainFormThreadId_!=GetCurrentThreadId\\(\\) \\|\\| InSendMessage\\(\\)==TRUE");
    EXPECT_DEATH(list.PopFront(), "InSendMessage");
    EXPECT_DEATH(list.Requeue(Task("x")), "InSendMessage");
}
