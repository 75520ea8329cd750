#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <utility>

class QFontMetrics;

namespace my {

class StringGrid;

// Draws every cell of one string grid itself: the text centred, cut with
// "..." or the column widened when it does not fit, fixed cells in their own
// colour, thin light-grey lines instead of the grid's own, and the cell under
// the mouse (the hot cell) underlined. Create it after the grid and destroy
// it before the grid; destroying it gives the grid its own drawing back.
class DrawGridCellManager : boost::noncopyable {
public:
    // Cell state flags
    enum { gdSelected = 1, gdFocused = 2, gdFixed = 4, gdHot = 8 };
    // May move the text start point and change the font and text colour for the cell.
    typedef std::function<void(StringGrid& grd, int col, int row, unsigned state, const QRect& rect,
                               QPoint& textPos, QFont& font, QColor& textColor)>
        TextPositionHandler;
    // May forbid widening the column for this cell's text.
    typedef std::function<void(StringGrid& grd, int col, int row, bool& mayWiden)> AutoWidthHandler;

    DrawGridCellManager(StringGrid* grd, bool trackMouse);
    ~DrawGridCellManager();

    void SetTextPositionHandler(TextPositionHandler h);
    void SetAutoWidthHandler(AutoWidthHandler h);
    std::pair<int, int> GetHotCell() const; // (col,row), (-1,-1) when none

    class Impl;

private:
    boost::shared_ptr<Impl> impl_;
};

// The text as a cell of the given width shows it when the column may not
// widen: whole when it fits with 3 pixels to spare, otherwise as many leading
// characters as fit before "..." (only "..." when none fits).
QString CutTextToWidth(const QFontMetrics& fm, const QString& text, int width);

} // namespace my
