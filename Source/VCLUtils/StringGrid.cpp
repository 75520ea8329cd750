#include "VCLUtils/StringGrid.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>
#include <QTableWidgetItem>

#include <cstdlib>

namespace my {

namespace {

// The classic button-face grey: fixed cells look like headers until the owner
// chooses another colour.
const QColor kDefaultFixedColor(0xF0, 0xF0, 0xF0);

// How far from a column's edge the mouse may be to grab it.
const int kSizingMargin = 3;

// Columns and rows may be as narrow as the owner likes (a default column
// width of a few pixels is a normal start: columns widen to their text).
void PrepareHeader(QHeaderView* header)
{
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->hide();
}

} // namespace

StringGrid::StringGrid(QWidget* parent) : QTableWidget(parent), fixedColor_(kDefaultFixedColor)
{
    PrepareHeader(horizontalHeader());
    PrepareHeader(verticalHeader());
    // Whoever draws the cells draws the lines too.
    setShowGrid(false);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    SetColor(color_);
}

int StringGrid::ColCount() const
{
    return columnCount();
}

void StringGrid::SetColCount(int n)
{
    setColumnCount(n);
}

int StringGrid::RowCount() const
{
    return rowCount();
}

void StringGrid::SetRowCount(int n)
{
    setRowCount(n);
}

int StringGrid::FixedCols() const
{
    return fixedCols_;
}

void StringGrid::SetFixedCols(int n)
{
    fixedCols_ = n < 0 ? 0 : n;
    viewport()->update();
}

int StringGrid::FixedRows() const
{
    return fixedRows_;
}

void StringGrid::SetFixedRows(int n)
{
    fixedRows_ = n < 0 ? 0 : n;
    viewport()->update();
}

bool StringGrid::IsInside(int col, int row) const
{
    return col >= 0 && row >= 0 && col < columnCount() && row < rowCount();
}

QString StringGrid::Cell(int col, int row) const
{
    if (!IsInside(col, row))
        return QString();
    const QTableWidgetItem* const it = item(row, col);
    return it ? it->text() : QString();
}

void StringGrid::SetCell(int col, int row, const QString& text)
{
    if (!IsInside(col, row))
        return;
    QTableWidgetItem* it = item(row, col);
    if (it == nullptr)
        setItem(row, col, new QTableWidgetItem(text));
    else
        it->setText(text); // silent when the text is the same
    InvalidateCell(col, row);
}

int StringGrid::ColWidth(int col) const
{
    return columnWidth(col);
}

void StringGrid::SetColWidth(int col, int width)
{
    setColumnWidth(col, width < 0 ? 0 : width);
}

int StringGrid::DefaultColWidth() const
{
    return horizontalHeader()->defaultSectionSize();
}

// Like any grid of this kind, every column takes the new default width.
void StringGrid::SetDefaultColWidth(int width)
{
    horizontalHeader()->setDefaultSectionSize(width < 0 ? 0 : width);
    for (int c = 0; c < columnCount(); ++c)
        setColumnWidth(c, DefaultColWidth());
}

int StringGrid::DefaultRowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

void StringGrid::SetDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height < 0 ? 0 : height);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, DefaultRowHeight());
}

QColor StringGrid::Color() const
{
    return color_;
}

// The area beyond the last cell shows the grid's colour as well.
void StringGrid::SetColor(const QColor& c)
{
    color_ = c;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, c);
    setPalette(pal);
    viewport()->update();
}

QColor StringGrid::FixedColor() const
{
    return fixedColor_;
}

void StringGrid::SetFixedColor(const QColor& c)
{
    fixedColor_ = c;
    viewport()->update();
}

bool StringGrid::IsFixedCell(int col, int row) const
{
    return col < fixedCols_ || row < fixedRows_;
}

QRect StringGrid::CellRect(int col, int row) const
{
    if (!IsInside(col, row))
        return QRect();
    return visualRect(model()->index(row, col));
}

std::pair<int, int> StringGrid::MouseToCell(const QPoint& viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return {-1, -1};
    return {index.column(), index.row()};
}

void StringGrid::InvalidateCell(int col, int row)
{
    const QRect r = CellRect(col, row);
    if (r.isValid())
        viewport()->update(r);
}

// Fixed cells are headers: they are neither edited nor selected.
bool StringGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (index.isValid() && IsFixedCell(index.column(), index.row()))
        return false;
    return QTableWidget::edit(index, trigger, event);
}

QItemSelectionModel::SelectionFlags StringGrid::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const
{
    if (index.isValid() && IsFixedCell(index.column(), index.row()))
        return QItemSelectionModel::NoUpdate;
    return QTableWidget::selectionCommand(index, event);
}

// The last column whose edge is near: a column narrowed to nothing shares
// its edge with the one before it and can be pulled open again.
int StringGrid::SizingColumnAt(const QPoint& viewportPos) const
{
    const int row = rowAt(viewportPos.y());
    if (row < 0 || row >= fixedRows_)
        return -1;
    int found = -1;
    for (int c = 0; c < columnCount(); ++c) {
        if (isColumnHidden(c))
            continue;
        const int edge = columnViewportPosition(c) + columnWidth(c);
        if (std::abs(viewportPos.x() - edge) <= kSizingMargin)
            found = c;
    }
    return found;
}

void StringGrid::mousePressEvent(QMouseEvent* event)
{
    const int col = event->button() == Qt::LeftButton ? SizingColumnAt(event->position().toPoint()) : -1;
    if (col < 0) {
        QTableWidget::mousePressEvent(event);
        return;
    }
    sizingCol_ = col;
    event->accept();
}

void StringGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (sizingCol_ >= 0) {
        SetColWidth(sizingCol_, pos.x() - columnViewportPosition(sizingCol_));
        event->accept();
        return;
    }
    if (SizingColumnAt(pos) >= 0)
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
    QTableWidget::mouseMoveEvent(event);
}

void StringGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (sizingCol_ < 0) {
        QTableWidget::mouseReleaseEvent(event);
        return;
    }
    sizingCol_ = -1;
    event->accept();
}

} // namespace my
