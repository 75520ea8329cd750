#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <functional>
#include <map>

class QObject;
class QPointF;
class QWidget;

namespace my {

// Called with the control and true when the mouse has entered it, false when
// the mouse has left it.
typedef std::function<void(QWidget* control, bool entered)> MouseEnterLeaveHandler;

struct Dt {
    QWidget* control = nullptr;
    MouseEnterLeaveHandler handler;
    bool inside = false; // the mouse is over the control (or one of its children)
};

typedef std::map<const QObject*, Dt> Assoc;

// Reports to a handler when the mouse enters and leaves a registered control:
// each entering once and each leaving once, whatever Qt sends on the way (an
// Enter twice, a Leave without Enter, no Enter at all after the mouse came
// back into the window) and however the mouse moves over the control's child
// widgets (a table's viewport and headers count as the table). One per
// process, created on first use and kept until the process ends; main thread
// only.
class MouseInfoT : boost::noncopyable {
public:
    static MouseInfoT& Instance();

    // A control is registered once (a second time is a programming error);
    // its entry goes with it. Starts as "mouse outside".
    void Register(QWidget* control, MouseEnterLeaveHandler handler);

private:
    MouseInfoT();

    class Filter;

    void OnEnterLeave(const QObject* receiver, bool entered);
    void OnMouseMove(QWidget* receiver, const QPointF& pos);

    Assoc assoc_;
    boost::shared_ptr<Filter> filter_;
};

} // namespace my

// my::MouseInfoT::Instance().Register(control, handler).
void RegisterMouseEnterLeave(QWidget* control, my::MouseEnterLeaveHandler handler);
