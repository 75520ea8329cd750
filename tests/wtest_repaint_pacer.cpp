#include "ScreenUpdates/RepaintPacer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A label that remembers what it painted.
class PaintedLabel : public QLabel {
public:
    using QLabel::QLabel;
    int paints = 0;
    QString painted;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        painted = text();
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
