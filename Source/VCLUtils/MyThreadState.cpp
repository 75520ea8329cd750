// Loki's object-level lock exists only with this switch, and Debian's Loki
// then needs -fpermissive (threads.sources.cmake gives it to this file only).
#define LOKI_OBJECT_LEVEL_THREADING

#include "VCLUtils/MyThreadState.h"

#include <loki/Threads.h>

namespace my {

class MyThreadState::Lockable : public Loki::ObjectLevelLockable<MyThreadState> {};

namespace {
typedef Loki::ObjectLevelLockable<MyThreadState>::Lock Guard;
}

MyThreadState::MyThreadState() : lock_(new Lockable), terminated_(true), stoped_(true) {}

MyThreadState::~MyThreadState() = default;

bool MyThreadState::GetTerminated() const
{
    Guard guard(*lock_);
    return terminated_;
}

bool MyThreadState::WasStoped() const
{
    Guard guard(*lock_);
    return stoped_;
}

void MyThreadState::SetTerminated(bool value)
{
    Guard guard(*lock_);
    terminated_ = value;
}

void MyThreadState::SetState(bool terminated, bool stoped)
{
    Guard guard(*lock_);
    terminated_ = terminated;
    stoped_ = stoped;
}

} // namespace my
