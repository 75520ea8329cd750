#include "VCLUtils/MouseEvt.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableWidget>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The mouse is driven as the window system drives it: events go to the
// top-level QWindow, and Qt's widget layer turns them into the Enter, Leave
// and move events of the widgets under the mouse.
class MouseEnterLeaveTest : public ::testing::Test {
protected:
    MouseEnterLeaveTest()
    {
        top_.resize(300, 300);
        table_ = new QTableWidget(5, 5, &top_);
        table_->setObjectName("table");
        table_->setGeometry(50, 50, 150, 150);
        other_ = new QWidget(&top_);
        other_->setObjectName("other");
        other_->setGeometry(220, 50, 60, 60);
        top_.show();
    }

    // Reports of every registered control, as "+name" and "-name".
    void Register(QWidget* control)
    {
        RegisterMouseEnterLeave(control, [this, control](QWidget* c, bool entered) {
            EXPECT_EQ(c, control);
            reports_ += (entered ? "+" : "-") + c->objectName().toStdString() + " ";
        });
    }

    QPoint Centre(const QWidget* w) const { return w->mapTo(&top_, w->rect().center()); }
    QPoint Outside() const { return QPoint(10, 10); }
    QPoint TableFrame() const { return table_->mapTo(&top_, QPoint(0, 0)); }
    QPoint Viewport() const { return Centre(table_->viewport()); }

    void Send(QEvent* e) { QCoreApplication::sendEvent(top_.windowHandle(), e); }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e{type, QPointF(at), QPointF(at), QPointF(top_.mapToGlobal(at)), button, held, Qt::NoModifier};
        Send(&e);
    }
    void MoveTo(QPoint at, Qt::MouseButtons held = Qt::NoButton)
    {
        Mouse(QEvent::MouseMove, at, Qt::NoButton, held);
    }
    void WindowEnter(QPoint at)
    {
        QEnterEvent e{QPointF(at), QPointF(at), QPointF(top_.mapToGlobal(at))};
        Send(&e);
    }
    void WindowLeave()
    {
        QEvent e(QEvent::Leave);
        Send(&e);
    }

    QWidget top_;
    QTableWidget* table_;
    QWidget* other_;
    std::string reports_;
};

TEST_F(MouseEnterLeaveTest, IntoTheTableAroundItsChildrenAndOut)
{
    Register(table_);
    MoveTo(Outside());
    MoveTo(TableFrame());
    MoveTo(Viewport());
    MoveTo(Centre(table_->horizontalHeader()));
    MoveTo(Centre(table_->verticalHeader()));
    MoveTo(Viewport() + QPoint(7, 3));
    EXPECT_EQ(reports_, "+table ");
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+table -table ");
    // Every entering is reported again.
    MoveTo(Viewport());
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+table -table +table -table ");
}

TEST_F(MouseEnterLeaveTest, StraightFromOneControlIntoAnother)
{
    Register(table_);
    Register(other_);
    MoveTo(Viewport());
    MoveTo(Centre(other_));
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+table -table +other -other ");
}

TEST_F(MouseEnterLeaveTest, OutOfTheWindowAndBack)
{
    Register(table_);
    MoveTo(Viewport());
    WindowLeave();
    EXPECT_EQ(reports_, "+table -table ");
    WindowEnter(Viewport());
    EXPECT_EQ(reports_, "+table -table +table ");
    WindowLeave();
    // Back in by a move alone: Qt sends the table no Enter then.
    MoveTo(Viewport());
    EXPECT_EQ(reports_, "+table -table +table -table +table ");
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+table -table +table -table +table -table ");
}

TEST_F(MouseEnterLeaveTest, RepeatedOrUnmatchedEnterAndLeaveFromQt)
{
    Register(table_);
    QEnterEvent enter(QPointF(5, 5), QPointF(55, 55), QPointF(top_.mapToGlobal(QPoint(55, 55))));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(table_, &leave);
    EXPECT_EQ(reports_, "");
    QCoreApplication::sendEvent(table_, &enter);
    QCoreApplication::sendEvent(table_, &enter);
    EXPECT_EQ(reports_, "+table ");
    QCoreApplication::sendEvent(table_, &leave);
    QCoreApplication::sendEvent(table_, &leave);
    EXPECT_EQ(reports_, "+table -table ");
}

TEST_F(MouseEnterLeaveTest, RegisteredWhileTheMouseIsOverIt)
{
    MoveTo(Viewport());
    Register(table_);
    EXPECT_EQ(reports_, "");
    MoveTo(Viewport() + QPoint(5, 5));
    EXPECT_EQ(reports_, "+table ");
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+table -table ");
}

TEST_F(MouseEnterLeaveTest, DraggedOutWithAButtonHeld)
{
    Register(table_);
    MoveTo(Viewport());
    Mouse(QEvent::MouseButtonPress, Viewport(), Qt::LeftButton, Qt::LeftButton);
    MoveTo(Outside(), Qt::LeftButton);
    EXPECT_EQ(reports_, "+table -table ");
    Mouse(QEvent::MouseButtonRelease, Outside(), Qt::LeftButton, Qt::NoButton);
    MoveTo(Outside() + QPoint(1, 1));
    EXPECT_EQ(reports_, "+table -table ");
}

TEST_F(MouseEnterLeaveTest, HiddenUnderTheMouse)
{
    Register(table_);
    MoveTo(Viewport());
    table_->hide();
    EXPECT_EQ(reports_, "+table -table ");
}

TEST_F(MouseEnterLeaveTest, EntryGoesWithItsControl)
{
    // The same storage gives the second control the first one's address.
    std::optional<QWidget> slot;
    slot.emplace(&top_);
    slot->setObjectName("first");
    slot->setGeometry(220, 150, 60, 60);
    slot->show();
    Register(&*slot);
    slot.reset();
    MoveTo(QPoint(250, 180));
    slot.emplace(&top_);
    slot->setObjectName("second");
    slot->setGeometry(220, 150, 60, 60);
    slot->show();
    Register(&*slot);
    MoveTo(QPoint(251, 181));
    MoveTo(Outside());
    EXPECT_EQ(reports_, "+second -second ");
}
