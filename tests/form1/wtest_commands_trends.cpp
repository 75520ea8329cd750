// The trends as the main window feeds them: by channel number, in the
// channel window and in "Тренды".
#include "wtest_commands.h"

#include "Plots/TimePlot.h"
#include "Trends/TrendView.h"
#include "Trends/TrendsControl.h"
#include "VCLUtils/StringGrid.h"
#include "uFormChanal.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

namespace commands_test {
namespace {

class TrendsTest : public CommandsTest {
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        TForm1& f = Form();
        f.resize(1200, 700);
        // A gap in the channel numbers: column 2 shows channel 5.
        f.UpdateChanals({Chanal(0, 2), Chanal(5, 1)});
        TakeQueuedTasks();
        f.grab();
    }

    TFormChanal* OpenDetailOfColumn(int col)
    {
        TForm1& f = Form();
        QWidget* vp = f.grd1->viewport();
        const QPoint at = f.grd1->CellRect(col, 2).center();
        QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(at), QPointF(vp->mapToGlobal(at)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &move);
        f.PopupMenu1->popup(vp->mapToGlobal(QPoint(5, 5)));
        f.PopupMenu1->hide();
        f.menuShowDetail->trigger();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<TFormChanal*>(w); d && d->isVisible())
                return d;
        return nullptr;
    }
};

TEST_F(TrendsTest, ChanalWindowShowsItsChanalsTrendWithStatsOverTheSpan)
{
    TForm1& f = Form();
    TFormChanal* detail = OpenDetailOfColumn(2);
    ASSERT_NE(detail, nullptr);
    auto* view = detail->findChild<TrendView*>();
    ASSERT_NE(view, nullptr);
    // Under the value, which keeps the upper part.
    EXPECT_GE(view->geometry().top(), detail->Label2->geometry().bottom());
    EXPECT_EQ(view->SpanBox()->currentText(), "10 мин");
    EXPECT_EQ(view->SpanBox()->count(), 3);

    f.UpdateChanalValue(5, 2);
    f.UpdateChanalValue(0, 100); // another channel
    view->Redraw();
    EXPECT_EQ(view->StatsLabel()->text().toStdString(), "мин " + TForm1::FormatValue(2) + "   макс " +
                                                            TForm1::FormatValue(2) + "   среднее " +
                                                            TForm1::FormatValue(2));
    EXPECT_EQ(view->Plot()->VisibleLines().size(), 1u);
}

TEST_F(TrendsTest, TrendsWindowPlotsEveryChanalByQuantityAndUnit)
{
    TForm1& f = Form();
    f.findChild<QAction*>("menuTrends")->trigger();
    auto* window = f.findChild<QWidget*>("TrendsWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Тренды");
    auto* view = window->findChild<TrendView*>();
    f.UpdateChanalValue(0, 1);
    f.UpdateChanalValue(5, 999999);
    view->Redraw();
    const std::vector<QString> lines = view->Plot()->VisibleLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].toStdString(), f.grd1->Cell(1, 2).toStdString() + ", " + f.grd1->Cell(1, 3).toStdString());
    EXPECT_EQ(lines[1].toStdString(), f.grd1->Cell(2, 2).toStdString() + ", " + f.grd1->Cell(2, 3).toStdString());
    // Switched off by its legend, it stays off as the plot redraws.
    view->Plot()->SetLineVisible(1, false);
    f.UpdateChanalValue(0, 2);
    view->Redraw();
    EXPECT_EQ(view->Plot()->VisibleLines(), std::vector<QString>{lines[0]});
}

} // namespace
} // namespace commands_test
