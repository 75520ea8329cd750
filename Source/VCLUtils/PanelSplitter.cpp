#include "VCLUtils/PanelSplitter.h"

#include <QLayout>
#include <QMouseEvent>

#include <algorithm>

namespace my {

PanelSplitter::PanelSplitter(QWidget* leftPanel, int width, QWidget* parent)
    : QWidget(parent), leftPanel_(leftPanel)
{
    setFixedWidth(width);
    setCursor(Qt::SplitHCursor);
}

void PanelSplitter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    // Global positions: the bar itself moves while it is dragged.
    dragStartX_ = qRound(event->globalPosition().x());
    dragStartWidth_ = leftPanel_->width();
    // The room is what the row's fixed parts leave of its width: the part
    // that fills the rest can give it up.
    int room = 0;
    if (const QWidget* row = parentWidget())
        if (const QLayout* layout = row->layout())
            room = std::max(0, row->width() - layout->minimumSize().width());
    dragMaxWidth_ = std::max(kMinPanelWidth, dragStartWidth_ + room);
}

void PanelSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    const int dx = qRound(event->globalPosition().x()) - dragStartX_;
    leftPanel_->setFixedWidth(std::clamp(dragStartWidth_ + dx, kMinPanelWidth, dragMaxWidth_));
}

void PanelSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace my
