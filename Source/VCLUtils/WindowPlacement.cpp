#include "VCLUtils/WindowPlacement.h"

#include <QWidget>
#include <QWindow>

namespace {

// The frame's margins around the client area, as far as the window system
// tells them (a window not created yet has none).
QMargins FrameMargins(const QWidget& w)
{
    if (const QWindow* handle = w.windowHandle())
        return handle->frameMargins();
    return QMargins();
}

} // namespace

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
    const QRect frame(QPoint(rec.left, rec.top), QPoint(rec.right - 1, rec.bottom - 1));
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
