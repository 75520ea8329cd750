#pragma once

#include "VCLUtils/MessageBoxFlags.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <functional>
#include <string>

class QEvent;
class QWidget;

// Called for each event of a registered window before the window itself sees
// it, with `handled` false on entry. A handler that sets `handled` takes the
// event: the window never sees it, and what the handler did with it is the
// outcome. Otherwise the window handles the event as it would without the
// handler. A handler that deletes its window must set `handled`.
typedef std::function<void(QWidget* wnd, QEvent* event, bool& handled)> WindowMessageHandler;

// Routes the events of windows the program creates for itself (hidden service
// windows) to handler objects. One per process, created on first use and kept
// until the process ends; main thread only.
class WindowsHandleMessageManagerT : boost::noncopyable {
public:
    struct MyWindowData {
        WindowMessageHandler handler; // empty: the window's own handling only
    };

    static WindowsHandleMessageManagerT& Instance();

    // Registering a window twice is a programming error ("fnd==e"). An entry
    // goes with its window, so a new window that happens to get the address
    // of a deleted one can be registered.
    void RegisterWindowHandler(QWidget* wnd, WindowMessageHandler handler);

private:
    WindowsHandleMessageManagerT();

    class Impl;
    boost::shared_ptr<Impl> impl_;
};

// A plain top-level window, 100 x 100 at (0, 0), white, not shown, with the
// class name as its object name, registered with the handler (which may be
// empty). The caller owns the window; it may keep it until the process ends.
QWidget* CreateMyWindow(const std::string& className, const std::string& title, WindowMessageHandler handler);

// A modal message box with the Windows message box styles (MessageBoxFlags.h)
// that returns the Windows answer code of the pressed button (IDOK, IDYES...).
// The box is centred over its owner. Without owner it is a window of its own
// with its own task-bar entry, so it works before any window of the program
// exists and after the last one has gone, and it leaves nothing behind;
// spareTitle is then what a task bar shows for it when it is minimised.
// MB_SYSTEMMODAL and MB_TOPMOST keep it above other windows. The text is
// shown as it is, never as markup. Main thread only.
int MyMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned typeFlags,
                 const std::string& spareTitle);
