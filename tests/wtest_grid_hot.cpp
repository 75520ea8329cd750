#include "GridTestUtils.h"

#include "VCLUtils/DrawGridCell.h"
#include "VCLUtils/StringGrid.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <utility>

namespace {

typedef std::pair<int, int> Cell;
const Cell kNone(-1, -1);

} // namespace

// The mouse as the window system drives it over the grid: moves arrive at
// the viewport, the leaving at the grid itself.
class GridHotCellTest : public ::testing::Test {
protected:
    GridHotCellTest()
    {
        PrepareTestGrid(grd_, 3, 3);
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                grd_.SetCell(c, r, QStringLiteral("%1:%2").arg(c).arg(r));
        mgr_ = std::make_unique<my::DrawGridCellManager>(&grd_, true);
        mgr_->SetTextPositionHandler(
            [this](my::StringGrid&, int col, int row, unsigned state, const QRect&, QPoint&, QFont& font, QColor&) {
                painted_.insert({col, row});
                hot_[{col, row}] = (state & my::DrawGridCellManager::gdHot) != 0;
                underlined_[{col, row}] = font.underline();
            });
        Settle(grd_);
    }

    QPoint Centre(Cell c) const { return grd_.CellRect(c.first, c.second).center(); }

    void MoveTo(QPoint at)
    {
        QWidget* vp = grd_.viewport();
        QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(at), QPointF(vp->mapToGlobal(at)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &e);
    }

    void Leave()
    {
        QEvent e(QEvent::Leave);
        QCoreApplication::sendEvent(&grd_, &e);
    }

    // The cells painted by the repaints the last steps asked for.
    std::set<Cell> Repainted()
    {
        painted_.clear();
        QCoreApplication::processEvents();
        return painted_;
    }

    my::StringGrid grd_;
    std::unique_ptr<my::DrawGridCellManager> mgr_;
    std::set<Cell> painted_;
    std::map<Cell, bool> hot_;
    std::map<Cell, bool> underlined_;
};

TEST_F(GridHotCellTest, MovingFromCellToCellRepaintsExactlyThoseTwo)
{
    EXPECT_EQ(mgr_->GetHotCell(), kNone);
    MoveTo(Centre({1, 1}));
    EXPECT_EQ(mgr_->GetHotCell(), Cell(1, 1));
    EXPECT_EQ(Repainted(), std::set<Cell>{Cell(1, 1)});
    EXPECT_TRUE(underlined_[Cell(1, 1)]);

    // Around inside the same cell: nothing to repaint.
    MoveTo(Centre({1, 1}) + QPoint(3, 2));
    EXPECT_TRUE(Repainted().empty());

    MoveTo(Centre({2, 2}));
    EXPECT_EQ(mgr_->GetHotCell(), Cell(2, 2));
    EXPECT_EQ(Repainted(), (std::set<Cell>{Cell(1, 1), Cell(2, 2)}));
    EXPECT_FALSE(hot_[Cell(1, 1)]);
    EXPECT_FALSE(underlined_[Cell(1, 1)]);
    EXPECT_TRUE(hot_[Cell(2, 2)]);
    EXPECT_TRUE(underlined_[Cell(2, 2)]);
}

TEST_F(GridHotCellTest, LeavingTheGridOrItsCellsClearsTheHotCell)
{
    MoveTo(Centre({0, 1}));
    (void)Repainted();
    Leave();
    EXPECT_EQ(mgr_->GetHotCell(), kNone);
    EXPECT_EQ(Repainted(), std::set<Cell>{Cell(0, 1)});
    EXPECT_FALSE(underlined_[Cell(0, 1)]);

    // The viewport goes on beyond the last column.
    MoveTo(Centre({2, 0}));
    EXPECT_EQ(mgr_->GetHotCell(), Cell(2, 0));
    MoveTo(QPoint(300, 15));
    EXPECT_EQ(mgr_->GetHotCell(), kNone);
}

TEST_F(GridHotCellTest, GridOutlivesItsManager)
{
    MoveTo(Centre({1, 1}));
    mgr_.reset();
    MoveTo(Centre({2, 1}));
    Leave();
    Settle(grd_);

    // The grid joined the mouse registry once; a second manager still learns
    // of the leaving.
    mgr_ = std::make_unique<my::DrawGridCellManager>(&grd_, true);
    MoveTo(Centre({1, 2}));
    EXPECT_EQ(mgr_->GetHotCell(), Cell(1, 2));
    Leave();
    EXPECT_EQ(mgr_->GetHotCell(), kNone);
}

TEST(GridHotCellOff, WithoutTrackingThereIsNoHotCell)
{
    my::StringGrid grd;
    PrepareTestGrid(grd, 2, 2);
    my::DrawGridCellManager mgr(&grd, false);
    const QPoint at = grd.CellRect(1, 1).center();
    QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(at), QPointF(grd.viewport()->mapToGlobal(at)),
                  Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grd.viewport(), &e);
    EXPECT_EQ(mgr.GetHotCell(), kNone);
}
