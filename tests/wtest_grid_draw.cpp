#include "GridTestUtils.h"

#include "VCLUtils/DrawGridCell.h"
#include "VCLUtils/StringGrid.h"

#include <QFontMetrics>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

#include <map>
#include <memory>
#include <utility>

namespace {

const QRgb kLine = qRgb(0xBC, 0xBC, 0xBC);
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kFixed = qRgb(0xE3, 0xE3, 0xE3);

struct Drawn {
    unsigned state = 0;
    QRect rect;
    QPoint textPos;
};

} // namespace

// CutTextToWidth on its own: the drawing uses it for columns that may not
// widen.
TEST(GridCutText, KeepsWhatFitsAndEndsTheRestWithDots)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    const QFontMetrics fm(f);
    const QString text = QString::fromUtf8("Единицы измерения");
    const int tw = fm.horizontalAdvance(text);
    const int dots = fm.horizontalAdvance(QStringLiteral("..."));

    EXPECT_EQ(my::CutTextToWidth(fm, text, tw + 3), text);
    EXPECT_EQ(my::CutTextToWidth(fm, QString(), 3), QString());

    const QString cut = my::CutTextToWidth(fm, text, tw + 2);
    ASSERT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_LE(fm.horizontalAdvance(cut.chopped(3)) + dots + 3, tw + 2);
    // The longest prefix that fits: one more character would not.
    EXPECT_GT(fm.horizontalAdvance(text.left(cut.size() - 3 + 1)) + dots + 3, tw + 2);
    EXPECT_TRUE(text.startsWith(cut.chopped(3)));

    EXPECT_EQ(my::CutTextToWidth(fm, text, dots + 3), QStringLiteral("..."));
    EXPECT_EQ(my::CutTextToWidth(fm, text, 1), QStringLiteral("..."));
}

class GridDrawTest : public ::testing::Test {
protected:
    GridDrawTest()
    {
        PrepareTestGrid(grd_, 3, 3);
        mgr_ = std::make_unique<my::DrawGridCellManager>(&grd_, false);
        mgr_->SetTextPositionHandler([this](my::StringGrid& grd, int col, int row, unsigned state, const QRect& rect,
                                            QPoint& textPos, QFont&, QColor& textColor) {
            EXPECT_EQ(&grd, &grd_);
            drawn_[{col, row}] = Drawn{state, rect, textPos};
            if (moveTextTo_ >= 0)
                textPos.setX(rect.left() + moveTextTo_);
            if (redCell_ == std::make_pair(col, row))
                textColor = Qt::red;
        });
    }

    void ForbidWidening()
    {
        mgr_->SetAutoWidthHandler([](my::StringGrid&, int, int, bool& mayWiden) { mayWiden = false; });
    }

    int TextWidth(const QString& text) const { return QFontMetrics(grd_.font()).horizontalAdvance(text); }

    my::StringGrid grd_;
    std::unique_ptr<my::DrawGridCellManager> mgr_;
    std::map<std::pair<int, int>, Drawn> drawn_;
    int moveTextTo_ = -1;
    std::pair<int, int> redCell_{-1, -1};
};

TEST_F(GridDrawTest, TextIsCentredAndTheHandlersChoicesAreUsed)
{
    const QString text = QStringLiteral("42");
    grd_.SetCell(1, 1, text);
    redCell_ = {1, 1};
    Settle(grd_);

    const Drawn& d = drawn_.at({1, 1});
    EXPECT_EQ(d.rect, grd_.CellRect(1, 1));
    EXPECT_EQ(drawn_.at({1, 0}).state & my::DrawGridCellManager::gdFixed, my::DrawGridCellManager::gdFixed);
    EXPECT_EQ(d.state & my::DrawGridCellManager::gdFixed, 0u);

    // The colour the handler chose is the one drawn, and the ink sits in
    // the middle of the cell: as far from its left edge as from its right
    // (a glyph's side bearings allow a pixel or two), and around its middle
    // line.
    const QImage img = RenderViewport(grd_);
    int red = 0;
    QRect ink;
    for (int y = d.rect.top(); y <= d.rect.bottom(); ++y)
        for (int x = d.rect.left(); x <= d.rect.right(); ++x)
            if (qRed(img.pixel(x, y)) > 200 && qGreen(img.pixel(x, y)) < 100) {
                ++red;
                ink |= QRect(x, y, 1, 1);
            }
    EXPECT_GT(red, 5);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(std::abs((ink.left() - d.rect.left()) - (d.rect.right() - ink.right())), 3)
        << "ink " << ink.left() << ".." << ink.right() << " in " << d.rect.left() << ".." << d.rect.right();
    EXPECT_LE(std::abs(ink.center().y() - d.rect.center().y()), QFontMetrics(grd_.font()).height() / 4)
        << "ink " << ink.top() << ".." << ink.bottom() << " in " << d.rect.top() << ".." << d.rect.bottom();
}

TEST_F(GridDrawTest, SelectedCellsAreReportedToTheHandler)
{
    grd_.setRangeSelected(QTableWidgetSelectionRange(1, 1, 2, 1), true);
    Settle(grd_);
    EXPECT_NE(drawn_.at({1, 1}).state & my::DrawGridCellManager::gdSelected, 0u);
    EXPECT_NE(drawn_.at({1, 2}).state & my::DrawGridCellManager::gdSelected, 0u);
    EXPECT_EQ(drawn_.at({2, 1}).state & my::DrawGridCellManager::gdSelected, 0u);
}

TEST_F(GridDrawTest, ColumnWidensToTheWidestTextOnceAndOnlyOnce)
{
    grd_.SetColWidth(1, 5);
    grd_.SetColWidth(2, 5);
    const QString longText = QString::fromUtf8("Измеряемая величина");
    const QString shortText = QString::fromUtf8("Давление");
    // Both texts are painted before either widening takes place.
    grd_.SetCell(1, 1, longText);
    grd_.SetCell(1, 2, shortText);
    grd_.SetCell(2, 2, shortText);
    Settle(grd_);
    EXPECT_EQ(grd_.ColWidth(1), TextWidth(longText) + 50);
    EXPECT_EQ(grd_.ColWidth(2), TextWidth(shortText) + 50);

    // A slightly longer text still has its 10 pixels of room: no change, not
    // even after many repaints.
    const QString longer = longText + QStringLiteral("ab");
    ASSERT_LT(TextWidth(longer) + 10, grd_.ColWidth(1));
    grd_.SetCell(1, 1, longer);
    Settle(grd_);
    Settle(grd_);
    EXPECT_EQ(grd_.ColWidth(1), TextWidth(longText) + 50);
}

TEST_F(GridDrawTest, ForbiddenColumnStaysAndItsTextEndsInDots)
{
    ForbidWidening();
    const QString text = QString::fromUtf8("Единицы измерения");
    grd_.SetCell(1, 1, text);
    Settle(grd_);
    EXPECT_EQ(grd_.ColWidth(1), 80);

    // Left-aligned, as the title column does it, so the whole cut text is in
    // the cell: its dots end where the cut text ends, well before the cell's
    // right edge, where the uncut text would run on.
    moveTextTo_ = 2;
    const QImage img = RenderViewport(grd_);
    const QRect r = grd_.CellRect(1, 1);
    int rightmostInk = -1;
    for (int y = r.top() + 1; y <= r.bottom(); ++y)
        for (int x = r.left() + 1; x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                rightmostInk = std::max(rightmostInk, x);
    const QFontMetrics fm(grd_.font());
    const QString cut = my::CutTextToWidth(fm, text, r.width());
    ASSERT_TRUE(cut.endsWith(QStringLiteral("...")));
    const int cutEnd = r.left() + 2 + fm.horizontalAdvance(cut);
    EXPECT_LE(rightmostInk, cutEnd);
    EXPECT_GT(rightmostInk, cutEnd - fm.horizontalAdvance(QStringLiteral("...")));
    EXPECT_LT(rightmostInk, r.right() - 2);
}

TEST_F(GridDrawTest, CutTextIsPlacedByTheWholeTextsWidth)
{
    ForbidWidening();
    const QString text = QString::fromUtf8("Единицы измерения");
    grd_.SetCell(1, 1, text);
    Settle(grd_);
    // Centred by the width of the cut text it would start inside the cell.
    const Drawn& d = drawn_.at({1, 1});
    ASSERT_GT(TextWidth(text), d.rect.width());
    EXPECT_LT(d.textPos.x(), d.rect.left());
}

TEST_F(GridDrawTest, FixedAndOrdinaryCellsHaveTheirColours)
{
    Settle(grd_);
    const QImage img = RenderViewport(grd_);
    EXPECT_EQ(img.pixel(100, 15), kFixed);
    EXPECT_EQ(img.pixel(100, 45), kWhite);

    grd_.SetFixedColor(QColor(0x20, 0x40, 0x60));
    grd_.SetColor(QColor(0x60, 0x40, 0x20));
    const QImage again = RenderViewport(grd_);
    EXPECT_EQ(again.pixel(100, 15), qRgb(0x20, 0x40, 0x60));
    EXPECT_EQ(again.pixel(100, 45), qRgb(0x60, 0x40, 0x20));
}

// Cells are 80 x 30 from (0, 0): column c spans x 80c..80c+79, row r spans
// y 30r..30r+29.
TEST_F(GridDrawTest, LinesOnTheLeftAndTopAndAroundTheLastColumnAndRow)
{
    Settle(grd_);
    const QImage img = RenderViewport(grd_);
    struct Case {
        int x, y;
        QRgb expected;
        const char* what;
    } const cases[] = {
        {80, 45, kLine, "left edge of column 1"},
        {100, 30, kLine, "top edge of row 1"},
        {80, 30, kLine, "top-left corner"},
        {159, 45, kWhite, "right edge of a middle column"},
        {239, 45, kLine, "right edge of the last column"},
        {239, 30, kLine, "top-right corner of the last column"},
        {100, 59, kWhite, "bottom edge of a middle row"},
        {100, 89, kLine, "bottom edge of the last row"},
        {239, 89, kLine, "bottom-right corner"},
        {250, 45, kWhite, "beyond the last column"},
        {100, 95, kWhite, "below the last row"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(img.pixel(c.x, c.y), c.expected) << c.what;
}

TEST_F(GridDrawTest, ColumnsAndRowsOfNoSizeDoNotCountAsLast)
{
    grd_.SetColWidth(2, 0);
    grd_.setRowHeight(2, 0);
    Settle(grd_);
    const QImage img = RenderViewport(grd_);
    EXPECT_EQ(img.pixel(159, 45), kLine) << "right edge of column 1";
    EXPECT_EQ(img.pixel(100, 59), kLine) << "bottom edge of row 1";
}

TEST_F(GridDrawTest, GridDrawsItselfAgainWhenTheManagerGoes)
{
    grd_.SetCell(1, 1, QStringLiteral("x"));
    Settle(grd_);
    mgr_.reset();
    drawn_.clear();
    Settle(grd_);
    EXPECT_TRUE(drawn_.empty());
    ASSERT_NE(grd_.itemDelegate(), nullptr);
    EXPECT_NE(RenderViewport(grd_).pixel(80, 45), kLine);
    // A new manager takes over the same grid.
    my::DrawGridCellManager again(&grd_, false);
    EXPECT_EQ(RenderViewport(grd_).pixel(80, 45), kLine);
}

// At 150 % and 200 % a logical pixel is no whole number of device pixels:
// every cell edge must still show its line.
class GridDrawScaledTest : public GridDrawTest, public ::testing::WithParamInterface<double> {};

TEST_P(GridDrawScaledTest, EveryCellEdgeHasItsLine)
{
    const double dpr = GetParam();
    Settle(grd_);
    const QSize size = grd_.viewport()->size();
    QImage img((QSizeF(size) * dpr).toSize(), QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::magenta);
    grd_.viewport()->render(&img);

    // Some device pixel from the edge's start to the next logical pixel.
    const auto lineAcross = [&](int logical, auto pixelAt) {
        for (int d = int(logical * dpr) - 1; d <= int((logical + 1) * dpr); ++d)
            if (pixelAt(d) == kLine)
                return true;
        return false;
    };
    // Columns span x 80c..80c+79, rows y 30r..30r+29; the last ones are
    // closed on their far side.
    for (int row = 0; row < 3; ++row) {
        const int y = int((30 * row + 15) * dpr);
        for (const int x : {0, 80, 160, 239})
            EXPECT_TRUE(lineAcross(x, [&](int d) { return img.pixel(d, y); })) << "x " << x << ", row " << row;
    }
    for (int col = 0; col < 3; ++col) {
        const int x = int((80 * col + 40) * dpr);
        for (const int y : {0, 30, 60, 89})
            EXPECT_TRUE(lineAcross(y, [&](int d) { return img.pixel(x, d); })) << "y " << y << ", column " << col;
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, GridDrawScaledTest, ::testing::Values(1.0, 1.25, 1.5, 2.0));
