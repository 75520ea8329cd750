#include "ScreenUpdates/RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget* window, int periodMs) : QObject(window), window_(window), periodMs_(periodMs)
{
    release_.setSingleShot(true);
    connect(&release_, &QTimer::timeout, this, [this] { Release(); });
    window_->installEventFilter(this);
}

void RepaintPacer::SetBeforeRepaint(std::function<bool()> hook) { beforeRepaint_ = std::move(hook); }

// A top-level window repaints when it gets an update request; the window's
// own requests come as widgets change, this one comes for the hook.
void RepaintPacer::RequestRepaint()
{
    if (requested_)
        return;
    requested_ = true;
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest));
}

// A top-level window repaints its dirty regions when it gets an update
// request; one that comes too soon after the last repaint is held back and
// sent again when the period is over, by which time the regions of every
// change made meanwhile have been gathered.
bool RepaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || event->type() != QEvent::UpdateRequest || releasing_)
        return false;
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < periodMs_) {
        if (!release_.isActive())
            release_.start(static_cast<int>(periodMs_ - sinceRepaint_.elapsed()));
        return true;
    }
    sinceRepaint_.restart();
    BeforeRepaint();
    return false;
}

void RepaintPacer::Release()
{
    sinceRepaint_.restart();
    BeforeRepaint();
    releasing_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    releasing_ = false;
}

void RepaintPacer::BeforeRepaint()
{
    requested_ = false;
    if (beforeRepaint_ && beforeRepaint_())
        RequestRepaint();
}
