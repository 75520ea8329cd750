#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

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

    // Runs right before each paced repaint; what it changes is painted in
    // that repaint. It returns true when it has more to show, which asks for
    // another repaint a period later.
    void SetBeforeRepaint(std::function<bool()> hook);
    // A repaint, so that the hook runs, even when no widget has changed:
    // at once when a period has passed since the last one, else at its end.
    void RequestRepaint();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Release();
    void BeforeRepaint();

    QWidget* window_;
    const int periodMs_;
    QElapsedTimer sinceRepaint_;
    QTimer release_;
    bool releasing_ = false;
    bool requested_ = false;
    std::function<bool()> beforeRepaint_;
};
