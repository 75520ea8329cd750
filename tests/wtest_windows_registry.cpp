#include "VCLUtils/MyWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const QEvent::Type Probe = static_cast<QEvent::Type>(QEvent::User + 11);

typedef std::vector<std::string> Log;

// A window that notes when its own handling gets the probe event.
class ProbedWidget : public QWidget {
public:
    explicit ProbedWidget(Log& log) : log_(log) {}

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == Probe)
            log_.push_back("window");
        return QWidget::event(e);
    }

private:
    Log& log_;
};

WindowMessageHandler ProbeHandler(Log& log, const std::string& name, bool takesIt)
{
    return [&log, name, takesIt](QWidget*, QEvent* e, bool& handled) {
        if (e->type() != Probe)
            return;
        log.push_back(handled ? name + " (flag already set)" : name);
        handled = takesIt;
    };
}

void SendProbe(QWidget* w)
{
    QEvent probe(Probe);
    QCoreApplication::sendEvent(w, &probe);
}

} // namespace

TEST(WindowsHandleMessageManagerTest, HandledFlagDecidesWhetherTheWindowSeesTheEvent)
{
    const struct {
        const char* name;
        bool takesIt;
        Log expected;
    } cases[] = {
        {"handler leaves the flag false", false, {"handler", "window"}},
        {"handler sets the flag", true, {"handler"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        ProbedWidget w(log);
        WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(&w, ProbeHandler(log, "handler", c.takesIt));
        SendProbe(&w);
        EXPECT_EQ(log, c.expected);
    }
}

TEST(WindowsHandleMessageManagerTest, EntryGoesWithItsWindow)
{
    // The same storage gives the second window the first one's address.
    Log log;
    std::optional<ProbedWidget> slot;
    slot.emplace(log);
    WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(&*slot, ProbeHandler(log, "first", false));
    slot.reset();
    slot.emplace(log);
    WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(&*slot, ProbeHandler(log, "second", true));
    SendProbe(&*slot);
    EXPECT_EQ(log, Log{"second"});
}

TEST(WindowsHandleMessageManagerDeathTest, SecondRegistrationOfAWindow)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QWidget w;
    WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(&w, WindowMessageHandler());
    EXPECT_DEATH(WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(&w, WindowMessageHandler()),
                 "Assertion failed: fnd==e, file MyWindow.cpp");
}

TEST(CreateMyWindowTest, HiddenWindowWithTheGivenTitle)
{
    QWidget* w = CreateMyWindow("MyTestWindowClass", "Скрытое окно", WindowMessageHandler());
    EXPECT_TRUE(w->isWindow());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle().toStdString(), "Скрытое окно");
    delete w;
}

namespace {

WindowMessageHandler RefuseClose(bool takesIt)
{
    return [takesIt](QWidget*, QEvent* e, bool& handled) {
        if (e->type() != QEvent::Close)
            return;
        e->ignore();
        handled = takesIt;
    };
}

} // namespace

// A close request shows whose handling stood: the window's own accepts the
// request and hides the window, the handler refuses it.
TEST(CreateMyWindowTest, CloseRequestGetsTheWindowsOwnHandlingUnlessTheHandlerTakesIt)
{
    const struct {
        const char* name;
        WindowMessageHandler handler;
        bool closes;
    } cases[] = {
        {"empty handler", WindowMessageHandler(), true},
        {"handler refuses, leaves the flag false", RefuseClose(false), true},
        {"handler refuses, sets the flag", RefuseClose(true), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* w = CreateMyWindow("MyTestWindowClass", "Окно", c.handler);
        w->show();
        EXPECT_EQ(w->close(), c.closes);
        EXPECT_EQ(w->isVisible(), !c.closes);
        delete w;
    }
}
