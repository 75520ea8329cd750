#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

// Paces the repaints of one window: whatever its widgets change between
// two repaints is painted together, at most once per period. The widgets
// keep their state at once (a label's text reads back as set); only the
// painting waits. Qt keeps the dirty regions, so a paced repaint paints
// only what changed since the last one.
class RepaintPacer : public QObject {
public:
    // Watches window (a top-level widget) until either is destroyed.
    RepaintPacer(QWidget* window, int periodMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Release();

    QWidget* window_;
    const int periodMs_;
    QElapsedTimer sinceRepaint_;
    QTimer release_;
    bool releasing_ = false;
};
