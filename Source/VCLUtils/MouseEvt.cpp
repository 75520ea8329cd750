#include "VCLUtils/MouseEvt.h"

#include "Excpt/MyAssert.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <utility>
#include <vector>

namespace my {

namespace {

// Whether a mouse event at pos, delivered to receiver, lies over the control:
// a child of the control (in its window) counts as the control.
bool IsOverControl(const QWidget* control, const QWidget* receiver, const QPointF& pos)
{
    if (receiver != control && !control->isAncestorOf(receiver))
        return false;
    const QPointF p = receiver == control ? pos : receiver->mapTo(control, pos);
    return control->rect().contains(p.toPoint());
}

struct Change {
    QPointer<QWidget> control;
    MouseEnterLeaveHandler handler;
    bool entered;
};

// Entries change state first and handlers run afterwards, so a handler may
// register or delete controls.
void Notify(const std::vector<Change>& changes)
{
    for (const Change& c : changes)
        if (c.control && c.handler)
            c.handler(c.control, c.entered);
}

// Records a change of an entry's state; nothing when it is already there.
void Switch(Dt& dt, bool inside, std::vector<Change>& changes)
{
    if (dt.inside == inside)
        return;
    dt.inside = inside;
    changes.push_back(Change{dt.control, dt.handler, inside});
}

} // namespace

// Watches the whole application rather than each control: Qt gives a widget
// without mouse tracking no move events, yet passes those moves through the
// application's event filters, and moves over a child widget (a table's
// viewport) never reach the control's own filters.
class MouseInfoT::Filter : public QObject {
public:
    explicit Filter(MouseInfoT& owner) : owner_(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Enter:
            owner_.OnEnterLeave(watched, true);
            break;
        case QEvent::Leave:
            owner_.OnEnterLeave(watched, false);
            break;
        case QEvent::MouseMove:
            if (watched->isWidgetType())
                owner_.OnMouseMove(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event)->position());
            break;
        default:
            break;
        }
        return false; // the control still gets every event
    }

private:
    MouseInfoT& owner_;
};

MouseInfoT::MouseInfoT() : filter_(new Filter(*this)) {}

MouseInfoT& MouseInfoT::Instance()
{
    // Never destroyed: it watches the application until the process ends.
    static MouseInfoT* const instance = new MouseInfoT;
    return *instance;
}

void MouseInfoT::Register(QWidget* control, MouseEnterLeaveHandler handler)
{
    MY_ASSERT(control != nullptr);
    MY_ASSERT(QCoreApplication::instance() != nullptr);
    MY_ASSERT_M(assoc_.find(control) == assoc_.end(), "assoc.find(control)==assoc.end()");
    if (assoc_.empty())
        QCoreApplication::instance()->installEventFilter(filter_.get());
    assoc_.emplace(control, Dt{control, std::move(handler), false});
    // A deleted control's address can come back with a new control.
    QObject::connect(control, &QObject::destroyed, filter_.get(), [this](QObject* gone) {
        assoc_.erase(gone);
        if (assoc_.empty())
            QCoreApplication::instance()->removeEventFilter(filter_.get());
    });
}

// Qt's own reports, on the control itself. Duplicates fall away in Switch.
void MouseInfoT::OnEnterLeave(const QObject* receiver, bool entered)
{
    const auto itr = assoc_.find(receiver);
    if (itr == assoc_.end())
        return;
    std::vector<Change> changes;
    Switch(itr->second, entered, changes);
    Notify(changes);
}

// Moves catch what Qt's reports miss: a move over the control is an entering
// when Qt sent no Enter (the mouse came back into the window, or the control
// was registered under the mouse); a move anywhere else, or outside the
// control while a button holds the mouse to it, is a leaving.
void MouseInfoT::OnMouseMove(QWidget* receiver, const QPointF& pos)
{
    std::vector<Change> changes;
    for (auto& entry : assoc_) {
        Dt& dt = entry.second;
        Switch(dt, IsOverControl(dt.control, receiver, pos), changes);
    }
    Notify(changes);
}

} // namespace my

void RegisterMouseEnterLeave(QWidget* control, my::MouseEnterLeaveHandler handler)
{
    my::MouseInfoT::Instance().Register(control, std::move(handler));
}
