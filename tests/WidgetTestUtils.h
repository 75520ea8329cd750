#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Answers the next modal message box that opens: records what it showed and
// presses the given button. Arm it before the call that shows the box.
class ModalBoxWatcher {
public:
    struct Seen {
        bool shown = false;
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool hadParent = false;
        const QWidget* parent = nullptr;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        Qt::TextFormat textFormat = Qt::AutoText;
        Qt::WindowFlags flags;
        QString iconText;
        // Top-level widgets while the box was open, the box among them.
        int windows = 0;
        // Visible windows other than the box.
        int otherVisibleWindows = 0;
    };

    explicit ModalBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer)
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    const Seen& Result() const { return seen_; }

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer_.stop();
        seen_.shown = true;
        seen_.caption = box->windowTitle();
        seen_.text = box->text();
        seen_.icon = box->icon();
        seen_.hadParent = box->parentWidget() != nullptr;
        seen_.parent = box->parentWidget();
        seen_.buttons = box->standardButtons();
        seen_.defaultButton = box->standardButton(box->defaultButton());
        seen_.textFormat = box->textFormat();
        seen_.flags = box->windowFlags();
        seen_.iconText = box->windowIconText();
        const QWidgetList windows = QApplication::topLevelWidgets();
        seen_.windows = static_cast<int>(windows.size());
        for (const QWidget* w : windows)
            if (w != box && w->isVisible())
                ++seen_.otherVisibleWindows;
        if (QAbstractButton* b = box->button(answer_))
            b->click();
        else
            box->done(answer_);
    }

    QMessageBox::StandardButton answer_;
    QTimer timer_;
    Seen seen_;
};
