#include "VCLUtils/PanelSplitter.h"

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
}

void PanelSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    const int dx = qRound(event->globalPosition().x()) - dragStartX_;
    leftPanel_->setFixedWidth(std::max(kMinPanelWidth, dragStartWidth_ + dx));
}

void PanelSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace my
