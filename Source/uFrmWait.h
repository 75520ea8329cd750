#pragma once

#include <QWidget>

class QCloseEvent;
class QLabel;
class QProgressBar;

// The borderless "please wait" panel shown while the program is busy: above
// all other windows, centred on the screen, never closed by the user. Its
// creator changes Panel2's text or font if it likes, calls FitToCaption,
// shows it, repaints it at once and deletes it when the work is done.
class TFrmWait : public QWidget {
public:
    explicit TFrmWait(QWidget* owner = nullptr);

    // Window width: the caption's width in Panel2's font, plus 100 pixels;
    // the panel stays centred on the screen.
    void FitToCaption();

    QLabel* const Panel2;    // the caption
    QProgressBar* const pb1; // hidden unless a creator shows it

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CentreOnScreen();

    // Qt asks every window to close before the application quits; a panel
    // that refused would keep the program running without its main window.
    bool appQuitting_ = false;
};
