#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
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
        if (QAbstractButton* b = box->button(answer_))
            b->click();
        else
            box->done(answer_);
    }

    QMessageBox::StandardButton answer_;
    QTimer timer_;
    Seen seen_;
};
