#include "DevSys/TaskList.h"

#include "Excpt/MyAssert.h"

MyAbstructTransfer::~MyAbstructTransfer() = default;

std::string MyAbstructTransfer::Description() const { return " "; }

TaskList::TaskList() : mainFormThreadId_(my::CurrentThreadId()) {}

void TaskList::PushBack(const PMyAbstructTransfer& task)
{
    MY_ASSERT_M(mainFormThreadId_ == my::CurrentThreadId(), "mainFormThreadId_== GetCurrentThreadId()");
    pushedBack_.push_back(task);
}

void TaskList::PushFront(const PMyAbstructTransfer& task)
{
    MY_ASSERT_M(mainFormThreadId_ == my::CurrentThreadId(), "mainFormThreadId_== GetCurrentThreadId()");
    pushedFront_.push_front(task);
}

void TaskList::Clear()
{
    MY_ASSERT_M(mainFormThreadId_ == my::CurrentThreadId(), "mainFormThreadId_==GetCurrentThreadId()");
    tasks_.clear();
    pushedFront_.clear();
    pushedBack_.clear();
}

void TaskList::Merge()
{
    MY_ASSERT_M(my::InSendMessage(), "InSendMessage()==TRUE");
    tasks_.splice(tasks_.begin(), pushedFront_);
    tasks_.splice(tasks_.end(), pushedBack_);
}

void TaskList::AssertWorkingListAccess() const
{
    MY_ASSERT_M(mainFormThreadId_ != my::CurrentThreadId() || my::InSendMessage(),
                "mainFormThreadId_!=GetCurrentThreadId() || InSendMessage()==TRUE");
}

PMyAbstructTransfer TaskList::Front() const
{
    AssertWorkingListAccess();
    return tasks_.empty() ? PMyAbstructTransfer() : tasks_.front();
}

void TaskList::PopFront()
{
    AssertWorkingListAccess();
    if (!tasks_.empty())
        tasks_.pop_front();
}

void TaskList::Requeue(const PMyAbstructTransfer& task)
{
    AssertWorkingListAccess();
    tasks_.push_back(task);
}

bool TaskList::IsEmpty() const { return tasks_.empty() && pushedFront_.empty() && pushedBack_.empty(); }
