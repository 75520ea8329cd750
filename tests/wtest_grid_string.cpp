#include "GridTestUtils.h"

#include "VCLUtils/StringGrid.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QRegion>

#include <gtest/gtest.h>

#include <utility>

namespace {

// Collects what the viewport is asked to paint.
class PaintRecorder : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

} // namespace

class StringGridTest : public ::testing::Test {
protected:
    StringGridTest() { PrepareTestGrid(grd_, 4, 3); }
    my::StringGrid grd_;
};

TEST_F(StringGridTest, CellsAreAddressedColumnFirst)
{
    grd_.SetCell(3, 1, QStringLiteral("c3r1"));
    EXPECT_EQ(grd_.Cell(3, 1), QStringLiteral("c3r1"));
    EXPECT_EQ(grd_.item(1, 3)->text(), QStringLiteral("c3r1"));
    EXPECT_EQ(grd_.Cell(1, 3), QString());
    EXPECT_EQ(grd_.Cell(-1, 0), QString());
    grd_.SetCell(4, 0, QStringLiteral("outside")); // ignored
    EXPECT_EQ(grd_.ColCount(), 4);

    EXPECT_EQ(grd_.CellRect(2, 1), QRect(160, 30, 80, 30));
    EXPECT_EQ(grd_.MouseToCell(QPoint(165, 59)), std::make_pair(2, 1));
    EXPECT_EQ(grd_.MouseToCell(QPoint(330, 10)), std::make_pair(-1, -1));
    EXPECT_EQ(grd_.MouseToCell(QPoint(10, 95)), std::make_pair(-1, -1));
    EXPECT_FALSE(grd_.CellRect(4, 0).isValid());
}

TEST_F(StringGridTest, FixedCellsAreTheFirstRowsAndColumns)
{
    grd_.SetFixedCols(1);
    EXPECT_TRUE(grd_.IsFixedCell(0, 2));
    EXPECT_TRUE(grd_.IsFixedCell(3, 0));
    EXPECT_FALSE(grd_.IsFixedCell(1, 1));
}

// Columns may start as narrow as the table's default of 5 pixels and grow.
TEST_F(StringGridTest, NarrowDefaultWidthsAreKept)
{
    grd_.SetDefaultColWidth(5);
    grd_.SetDefaultRowHeight(50);
    EXPECT_EQ(grd_.DefaultColWidth(), 5);
    EXPECT_EQ(grd_.ColWidth(2), 5);
    EXPECT_EQ(grd_.rowHeight(1), 50);
    grd_.SetColCount(6);
    EXPECT_EQ(grd_.ColWidth(5), 5);
    grd_.SetColWidth(1, 0);
    EXPECT_EQ(grd_.ColWidth(1), 0);
}

TEST_F(StringGridTest, SettingTheSameTextRepaintsTheCell)
{
    grd_.SetCell(1, 1, QStringLiteral("same"));
    QCoreApplication::processEvents();
    PaintRecorder rec;
    grd_.viewport()->installEventFilter(&rec);
    grd_.SetCell(1, 1, QStringLiteral("same"));
    QCoreApplication::processEvents();
    grd_.viewport()->removeEventFilter(&rec);
    EXPECT_TRUE(rec.painted.contains(grd_.CellRect(1, 1)));
    EXPECT_FALSE(rec.painted.contains(grd_.CellRect(3, 2).center()));
}

TEST_F(StringGridTest, OnlyOrdinaryCellsAreEdited)
{
    grd_.edit(grd_.model()->index(0, 1));
    EXPECT_EQ(grd_.findChild<QLineEdit*>(), nullptr);
    grd_.edit(grd_.model()->index(1, 1));
    EXPECT_NE(grd_.findChild<QLineEdit*>(), nullptr);
}

// Without header widgets the fixed row is where columns are sized.
TEST_F(StringGridTest, DraggingAColumnEdgeInTheFixedRowSizesTheColumn)
{
    QWidget* vp = grd_.viewport();
    auto mouse = [vp](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), QPointF(at), QPointF(vp->mapToGlobal(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &e);
    };
    // Column 1 ends at x 160.
    mouse(QEvent::MouseButtonPress, QPoint(161, 10), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(200, 12), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(200, 12), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grd_.ColWidth(1), 120);
    EXPECT_EQ(grd_.ColWidth(2), 80);

    // Dragged to nothing, and pulled open again from the same edge.
    mouse(QEvent::MouseButtonPress, QPoint(200, 10), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(50, 12), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(50, 12), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grd_.ColWidth(1), 0);
    mouse(QEvent::MouseButtonPress, QPoint(80, 10), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(110, 12), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(110, 12), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grd_.ColWidth(0), 80);
    EXPECT_EQ(grd_.ColWidth(1), 30);

    // Ordinary rows select; they do not size.
    mouse(QEvent::MouseButtonPress, QPoint(110, 45), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(150, 45), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(150, 45), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(grd_.ColWidth(1), 30);
}
