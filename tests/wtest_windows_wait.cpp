#include "uFrmWait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

int CaptionWidth(const TFrmWait& w)
{
    return QFontMetrics(w.Panel2->font()).horizontalAdvance(w.Panel2->text());
}

} // namespace

TEST(TFrmWaitTest, StaysOpenOnCloseRequests)
{
    TFrmWait w;
    w.show();
    w.repaint();
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());

    QCloseEvent toWidget;
    QCoreApplication::sendEvent(&w, &toWidget);
    EXPECT_FALSE(toWidget.isAccepted());
    EXPECT_TRUE(w.isVisible());

    // What the window manager sends for its close button and Alt+F4.
    QCloseEvent fromWindowSystem;
    QCoreApplication::sendEvent(w.windowHandle(), &fromWindowSystem);
    EXPECT_TRUE(w.isVisible());
}

TEST(TFrmWaitTest, WidthFollowsTheCaption)
{
    TFrmWait w;
    EXPECT_EQ(w.Panel2->text().toStdString(), "Пожалуйста, подождите...");
    const int first = w.width();
    EXPECT_EQ(first, CaptionWidth(w) + 100);

    w.Panel2->setText("КАЛИСТ-8: Поиск приборов на линии связи");
    w.FitToCaption();
    EXPECT_GT(w.width(), first);
    EXPECT_EQ(w.width(), CaptionWidth(w) + 100);

    // The device tasks shrink the caption's font.
    QFont smaller = w.Panel2->font();
    smaller.setPointSize(14);
    w.Panel2->setFont(smaller);
    const int wide = w.width();
    w.FitToCaption();
    EXPECT_LT(w.width(), wide);
    EXPECT_EQ(w.width(), CaptionWidth(w) + 100);

    w.show();
    EXPECT_EQ(w.width(), CaptionWidth(w) + 100);
    EXPECT_EQ(w.height(), 54);
    EXPECT_EQ(w.Panel2->geometry(), w.rect());
    EXPECT_FALSE(w.pb1->isVisible());
    const QPoint offCentre = w.geometry().center() - w.screen()->geometry().center();
    EXPECT_LE(std::abs(offCentre.x()), 1);
    EXPECT_LE(std::abs(offCentre.y()), 1);
}

// Before it quits, Qt asks every window to close: the open panel must not
// keep the program running once its main window has closed, nor when the
// program quits on its own.
TEST(TFrmWaitTest, DoesNotKeepTheProgramRunning)
{
    const struct {
        const char* name;
        bool closeMainWindow;
    } cases[] = {
        {"last main window closed", true},
        {"QCoreApplication::quit()", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget mainWindow;
        mainWindow.show();
        TFrmWait w;
        w.show();
        QTimer::singleShot(0, [&] {
            if (c.closeMainWindow)
                mainWindow.close();
            else
                QCoreApplication::quit();
        });
        QTimer kept;
        kept.setSingleShot(true);
        QObject::connect(&kept, &QTimer::timeout, [] { QCoreApplication::exit(42); });
        kept.start(5000); // only when the panel kept the program running
        EXPECT_EQ(QApplication::exec(), 0);
    }
}
