#include "VCLUtils/DrawGridCell.h"

#include "Excpt/MyAssert.h"
#include "VCLUtils/MouseEvt.h"
#include "VCLUtils/StringGrid.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>

#include <algorithm>
#include <map>

namespace my {

namespace {

const QColor kLineColor(0xBC, 0xBC, 0xBC);
const char* const kEllipsis = "...";

// A grid joins the mouse enter/leave registry once for its whole life (the
// registry allows no second registration); the handler finds whichever
// manager draws the grid at the moment through the grid's delegate.
const char* const kMouseRegisteredProperty = "my_DrawGridCellManager_mouse";

int LastVisibleColumn(const StringGrid& grd)
{
    for (int c = grd.ColCount() - 1; c >= 0; --c)
        if (!grd.isColumnHidden(c) && grd.ColWidth(c) > 0)
            return c;
    return -1;
}

int LastVisibleRow(const StringGrid& grd)
{
    for (int r = grd.RowCount() - 1; r >= 0; --r)
        if (!grd.isRowHidden(r) && grd.rowHeight(r) > 0)
            return r;
    return -1;
}

// Lines as a grid with 1-pixel lines between cells shows them: every cell
// draws its left and top edge, so a neighbour's line is never drawn twice;
// the last column and row close the table on the right and at the bottom.
// Each line fills a whole pixel of the cell: at a scale where a pixel is
// no whole number of device pixels, a hairline could fall just outside the
// cell's clip and vanish, a filled pixel is rounded as the clip is.
void DrawCellLines(QPainter& p, const QRect& r, bool lastCol, bool lastRow)
{
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), kLineColor);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), kLineColor);
    if (lastCol)
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), kLineColor);
    if (lastRow)
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), kLineColor);
}

} // namespace

QString CutTextToWidth(const QFontMetrics& fm, const QString& text, int width)
{
    if (width >= fm.horizontalAdvance(text) + 3)
        return text;
    const QString dots = QString::fromLatin1(kEllipsis);
    const int room = width - fm.horizontalAdvance(dots) - 3;
    int n = 0;
    while (n < text.size() && fm.horizontalAdvance(text.left(n + 1)) <= room)
        ++n;
    return text.left(n) + dots;
}

class DrawGridCellManager::Impl : public QStyledItemDelegate {
public:
    Impl(StringGrid* grd, bool trackMouse);
    ~Impl() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    void SetHotCell(int col, int row);
    void OnMouseLeave(QWidget* ctrl);

    TextPositionHandler textPositionHandler_;
    AutoWidthHandler autoWidthHandler_;
    std::pair<int, int> hotCell_{-1, -1};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    unsigned CellState(int col, int row, const QStyleOptionViewItem& option) const;
    void WidenIfAllowed(int col, int textWidth) const;
    int EffectiveColWidth(int col) const;
    void ApplyWidths() const;

    QPointer<StringGrid> grd_;
    const bool trackMouse_;
    QPointer<QAbstractItemDelegate> prevDelegate_;
    bool prevViewportTracking_ = false;
    // Qt lays the cells out before painting them, so a column widened while
    // it paints takes its new width right after; until then the widths asked
    // for here count as the column's width.
    mutable std::map<int, int> pendingWidths_;
    mutable bool widenQueued_ = false;
};

DrawGridCellManager::Impl::Impl(StringGrid* grd, bool trackMouse) : grd_(grd), trackMouse_(trackMouse)
{
    MY_ASSERT(grd != nullptr);
    prevDelegate_ = grd->itemDelegate();
    grd->setItemDelegate(this);
    grd->setShowGrid(false);
    if (trackMouse_) {
        prevViewportTracking_ = grd->viewport()->hasMouseTracking();
        grd->viewport()->setMouseTracking(true);
        grd->viewport()->installEventFilter(this);
        if (!grd->property(kMouseRegisteredProperty).toBool()) {
            grd->setProperty(kMouseRegisteredProperty, true);
            RegisterMouseEnterLeave(grd, [](QWidget* ctrl, bool entered) {
                if (entered)
                    return;
                auto* const grid = dynamic_cast<StringGrid*>(ctrl);
                if (auto* const impl = grid ? dynamic_cast<Impl*>(grid->itemDelegate()) : nullptr)
                    impl->OnMouseLeave(ctrl);
            });
        }
    }
    grd->viewport()->update();
}

// The grid may outlive the manager: it gets its own drawing back and is
// repainted without the manager's lines and hot cell.
DrawGridCellManager::Impl::~Impl()
{
    if (!grd_)
        return;
    if (trackMouse_) {
        grd_->viewport()->removeEventFilter(this);
        grd_->viewport()->setMouseTracking(prevViewportTracking_);
    }
    if (grd_->itemDelegate() == this) {
        if (!prevDelegate_)
            prevDelegate_ = new QStyledItemDelegate(grd_);
        grd_->setItemDelegate(prevDelegate_);
    }
    grd_->viewport()->update();
}

unsigned DrawGridCellManager::Impl::CellState(int col, int row, const QStyleOptionViewItem& option) const
{
    unsigned state = 0;
    if (option.state & QStyle::State_Selected)
        state |= gdSelected;
    if (option.state & QStyle::State_HasFocus)
        state |= gdFocused;
    if (grd_->IsFixedCell(col, row))
        state |= gdFixed;
    if (hotCell_ == std::make_pair(col, row))
        state |= gdHot;
    return state;
}

void DrawGridCellManager::Impl::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    MY_ASSERT_M(grd_ && option.widget == grd_.data(), "grd_ == dynamic_cast<TStringGrid*>(sender)");
    StringGrid& grd = *grd_;
    const int col = index.column();
    const int row = index.row();
    const unsigned state = CellState(col, row, option);
    const QRect rect = option.rect;
    QString text = grd.Cell(col, row);

    QFont font = grd.font();
    if (state & gdHot)
        font.setUnderline(true);
    QColor textColor = grd.palette().color(QPalette::Text);
    const QColor brushColor = (state & gdFixed) ? grd.FixedColor() : grd.Color();

    const QFontMetrics fm(font);
    const int textWidth = fm.horizontalAdvance(text);
    const int textHeight = fm.height();

    bool mayWiden = true;
    if (autoWidthHandler_)
        autoWidthHandler_(grd, col, row, mayWiden);
    if (mayWiden)
        WidenIfAllowed(col, textWidth);
    else
        text = CutTextToWidth(fm, text, rect.width());

    // Centred by the whole text's size, also when the text was cut.
    QPoint textPos(rect.left() + (rect.width() - textWidth) / 2, rect.top() + (rect.height() - textHeight) / 2);
    if (textPositionHandler_)
        textPositionHandler_(grd, col, row, state, rect, textPos, font, textColor);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->fillRect(rect, brushColor);
    painter->setFont(font);
    painter->setPen(textColor);
    painter->drawText(QPoint(textPos.x(), textPos.y() + QFontMetrics(font).ascent()), text);
    DrawCellLines(*painter, rect, col == LastVisibleColumn(grd), row == LastVisibleRow(grd));
    painter->restore();
}

int DrawGridCellManager::Impl::EffectiveColWidth(int col) const
{
    const auto itr = pendingWidths_.find(col);
    const int width = grd_->ColWidth(col);
    return itr == pendingWidths_.end() ? width : std::max(width, itr->second);
}

// The wide margin keeps a column from widening again for every small change
// of its text.
void DrawGridCellManager::Impl::WidenIfAllowed(int col, int textWidth) const
{
    if (EffectiveColWidth(col) >= textWidth + 10)
        return;
    int& pending = pendingWidths_[col];
    pending = std::max(pending, textWidth + 50);
    if (widenQueued_)
        return;
    widenQueued_ = true;
    // Bound to this object: a manager destroyed meanwhile widens nothing.
    QMetaObject::invokeMethod(const_cast<Impl*>(this), [this] { ApplyWidths(); }, Qt::QueuedConnection);
}

void DrawGridCellManager::Impl::ApplyWidths() const
{
    widenQueued_ = false;
    std::map<int, int> widths;
    widths.swap(pendingWidths_);
    if (!grd_)
        return;
    for (const auto& [col, width] : widths)
        if (col < grd_->ColCount() && grd_->ColWidth(col) < width)
            grd_->SetColWidth(col, width);
}

// Only the two cells whose look changes are drawn again.
void DrawGridCellManager::Impl::SetHotCell(int col, int row)
{
    const std::pair<int, int> cell(col, row);
    if (cell == hotCell_)
        return;
    if (hotCell_ != std::make_pair(-1, -1) && grd_)
        grd_->InvalidateCell(hotCell_.first, hotCell_.second);
    if (cell != std::make_pair(-1, -1) && grd_)
        grd_->InvalidateCell(col, row);
    hotCell_ = cell;
}

void DrawGridCellManager::Impl::OnMouseLeave(QWidget* ctrl)
{
    MY_ASSERT_M(dynamic_cast<StringGrid*>(ctrl) == grd_.data(), "dynamic_cast<TStringGrid*>(ctrl)==grd_");
    if (trackMouse_)
        SetHotCell(-1, -1);
}

// Only watches: the grid handles every mouse move as usual afterwards.
bool DrawGridCellManager::Impl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && grd_ && watched == grd_->viewport()) {
        const auto cell = grd_->MouseToCell(static_cast<QMouseEvent*>(event)->position().toPoint());
        SetHotCell(cell.first, cell.second);
    }
    return false;
}

DrawGridCellManager::DrawGridCellManager(StringGrid* grd, bool trackMouse) : impl_(new Impl(grd, trackMouse)) {}

DrawGridCellManager::~DrawGridCellManager() = default;

void DrawGridCellManager::SetTextPositionHandler(TextPositionHandler h)
{
    impl_->textPositionHandler_ = std::move(h);
}

void DrawGridCellManager::SetAutoWidthHandler(AutoWidthHandler h)
{
    impl_->autoWidthHandler_ = std::move(h);
}

std::pair<int, int> DrawGridCellManager::GetHotCell() const
{
    return impl_->hotCell_;
}

} // namespace my
