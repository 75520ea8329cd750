#include "ScreenUpdates/RepaintPacer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

// A label that remembers what it painted.
class PaintedLabel : public QLabel {
public:
    using QLabel::QLabel;
    int paints = 0;
    QString painted;
    std::vector<QString> texts; // each text painted, once

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        painted = text();
        if (texts.empty() || texts.back() != painted)
            texts.push_back(painted);
        QLabel::paintEvent(e);
    }
};

struct Window {
    QWidget window;
    PaintedLabel* changing = new PaintedLabel("0", &window);
    PaintedLabel* still = new PaintedLabel("still", &window);

    Window()
    {
        auto* box = new QVBoxLayout(&window);
        box->addWidget(changing);
        box->addWidget(still);
        window.resize(200, 80);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
    }

    // A new text as fast as the event loop turns, for ms milliseconds.
    int Churn(int ms)
    {
        QElapsedTimer t;
        t.start();
        int n = 0;
        while (t.elapsed() < ms) {
            changing->setText(QString::number(++n));
            QCoreApplication::processEvents();
        }
        return n;
    }
};

} // namespace

TEST(RepaintPacerTest, ChangesArePaintedTogetherAtMostOncePerPeriodAndTheLastOneShows)
{
    Window w;
    new RepaintPacer(&w.window, 40);
    const int stillPaints = w.still->paints;
    w.changing->paints = 0;
    const int texts = w.Churn(400);
    ASSERT_GT(texts, 50) << "the loop turned too slowly to tell";
    // 400 ms at one repaint per 40 ms at most, and the one after the period.
    EXPECT_LE(w.changing->paints, 12) << texts << " texts";
    EXPECT_GE(w.changing->paints, 1);
    QTRY_COMPARE_WITH_TIMEOUT(w.changing->painted, w.changing->text(), 2000);
    // Only what changed is painted again.
    EXPECT_EQ(w.still->paints, stillPaints);
}

// Whatever the hook shows is painted before the hook runs again: a text it
// shows for one frame only is never skipped.
TEST(RepaintPacerTest, EveryFrameTheHookShowsIsPainted)
{
    Window w;
    auto* pacer = new RepaintPacer(&w.window, 40);
    std::deque<QString> frames = {"ошибка", "1", "2", "3"};
    pacer->SetBeforeRepaint([&] {
        if (frames.empty())
            return false;
        w.changing->setText(frames.front());
        frames.pop_front();
        return !frames.empty();
    });
    const int stillPaints = w.still->paints;
    w.changing->texts.clear();
    pacer->RequestRepaint();
    QTRY_COMPARE_WITH_TIMEOUT(w.changing->painted, QString("3"), 5000);
    EXPECT_EQ(w.changing->texts, (std::vector<QString>{"ошибка", "1", "2", "3"}));
    EXPECT_EQ(w.still->paints, stillPaints);
}
