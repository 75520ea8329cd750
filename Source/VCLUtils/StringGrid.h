#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QTableWidget>

class QMouseEvent;

#include <utility>

namespace my {

// A grid of text cells addressed as (column, row), with fixed header rows
// and columns that have their own colour. It keeps no header widgets of its
// own: the fixed cells are ordinary cells drawn differently, so an owner or
// a cell-drawing manager sees every cell the same way.
class StringGrid : public QTableWidget {
public:
    explicit StringGrid(QWidget* parent = nullptr);

    int ColCount() const;
    void SetColCount(int n);
    int RowCount() const;
    void SetRowCount(int n);
    int FixedCols() const;
    void SetFixedCols(int n);
    int FixedRows() const;
    void SetFixedRows(int n);

    // "" for a cell without text or outside the grid.
    QString Cell(int col, int row) const;
    // Repaints the cell even when the text is the same.
    void SetCell(int col, int row, const QString& text);

    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    int DefaultColWidth() const;
    void SetDefaultColWidth(int width);
    int DefaultRowHeight() const;
    void SetDefaultRowHeight(int height);

    QColor Color() const;      // ordinary cells
    void SetColor(const QColor& c);
    QColor FixedColor() const; // fixed cells
    void SetFixedColor(const QColor& c);

    bool IsFixedCell(int col, int row) const;
    // The cell's rectangle in viewport coordinates.
    QRect CellRect(int col, int row) const;
    // (column, row) under a viewport point; (-1, -1) outside every cell.
    std::pair<int, int> MouseToCell(const QPoint& viewportPos) const;
    void InvalidateCell(int col, int row);

    using QTableWidget::edit;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    // The user widens or narrows a column by dragging its right edge in the
    // fixed rows, the only place a header would offer it.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool IsInside(int col, int row) const;
    // The column whose right edge is under a viewport point in the fixed
    // rows; -1 elsewhere.
    int SizingColumnAt(const QPoint& viewportPos) const;

    int sizingCol_ = -1;

    int fixedCols_ = 0;
    int fixedRows_ = 0;
    QColor color_ = Qt::white;
    QColor fixedColor_;
};

} // namespace my
