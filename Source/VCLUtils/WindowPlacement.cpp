#include "VCLUtils/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The frame's margins around the client area, as far as the window system
// tells them (a window not created yet has none).
QMargins FrameMargins(const QWidget& w)
{
    if (const QWindow* handle = w.windowHandle())
        return handle->frameMargins();
    return QMargins();
}

long long OverlapArea(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
}

// Squared distance between the nearest points of two rectangles.
long long Distance2(const QRect& a, const QRect& b)
{
    const auto gap = [](int lo1, int hi1, int lo2, int hi2) -> long long {
        if (hi1 < lo2)
            return lo2 - hi1;
        if (hi2 < lo1)
            return lo1 - hi2;
        return 0;
    };
    const long long dx = gap(a.left(), a.right(), b.left(), b.right());
    const long long dy = gap(a.top(), a.bottom(), b.top(), b.bottom());
    return dx * dx + dy * dy;
}

QList<QRect> AvailableAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

} // namespace

QRect FitIntoAvailableArea(const QRect& frame, const QList<QRect>& areas)
{
    if (areas.isEmpty())
        return frame;
    QRect area = areas.front();
    long long bestOverlap = -1, bestDistance = -1;
    for (const QRect& a : areas) {
        const long long overlap = OverlapArea(frame, a);
        const long long distance = Distance2(frame, a);
        if (overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && distance < bestDistance)) {
            area = a;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() - fitted.height() + 1));
    return fitted;
}

WindowPlacementRec GetWindowPlacement(const QWidget& w)
{
    WindowPlacementRec rec;
    if (w.isMinimized())
        rec.showCmd = WindowPlacementRec::ShowMinimized;
    else if (w.isMaximized())
        rec.showCmd = WindowPlacementRec::ShowMaximized;
    const bool normal = rec.showCmd == WindowPlacementRec::ShowNormal;
    const QRect frame = normal ? w.frameGeometry() : w.normalGeometry().marginsAdded(FrameMargins(w));
    rec.left = frame.left();
    rec.top = frame.top();
    rec.right = frame.left() + frame.width();
    rec.bottom = frame.top() + frame.height();
    return rec;
}

void SetWindowPlacement(QWidget& w, const WindowPlacementRec& rec)
{
    // The record holds the frame; the frame's size is known once the native
    // window exists.
    w.winId();
    // A frame stored on a monitor that is gone, or one larger than this
    // screen, would leave part of the window where nobody sees it.
    const QRect frame =
        FitIntoAvailableArea(QRect(QPoint(rec.left, rec.top), QPoint(rec.right - 1, rec.bottom - 1)), AvailableAreas());
    const QRect client = frame.marginsRemoved(FrameMargins(w));
    if (client.width() > 0 && client.height() > 0) {
        if (w.isMaximized() || w.isMinimized())
            w.setWindowState(w.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        w.setGeometry(client);
    }
    Qt::WindowStates state = w.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (rec.showCmd == WindowPlacementRec::ShowMinimized)
        state |= Qt::WindowMinimized;
    else if (rec.showCmd == WindowPlacementRec::ShowMaximized)
        state |= Qt::WindowMaximized;
    w.setWindowState(state);
}

void SaveWindowPlacement(const QWidget& window, my::IniFile& ini, const std::string& section)
{
    WritePlacementKeys(GetWindowPlacement(window), ini, section);
}

void LoadWindowPlacement(QWidget& window, const my::IniFile& ini, const std::string& section)
{
    WindowPlacementRec rec = GetWindowPlacement(window);
    ReadPlacementKeys(rec, ini, section);
    SetWindowPlacement(window, rec);
}
