#pragma once

#include <QWidget>

#include <functional>

class QCloseEvent;
class QLabel;
class QResizeEvent;

// One channel in large text, for reading from a distance: the quantity's
// name above, the value below, both growing and shrinking with the window.
// The owner keeps its channel key in the tag and learns of the closing
// through the close handler.
class TFormChanal : public QWidget {
public:
    explicit TFormChanal(QWidget* owner = nullptr);

    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }
    void SetCloseHandler(std::function<void(TFormChanal*)> h) { closeHandler_ = std::move(h); }

    // Puts w (which the window takes over) under the value, in a strip of
    // its own that makes the window taller; the texts keep the rest.
    void SetBottom(QWidget* w);

    // Places the labels and gives them the font height for the window's height.
    void FormResize();
    // Raises a requested size below the smallest useful one.
    static void FormCanResize(int& newWidth, int& newHeight);

    QLabel* Label1; // the measured quantity
    QLabel* Label2; // the value

    static const int MinWidth = 400;
    static const int MinHeight = 150;
    static const int BottomHeight = 260;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int tag_ = 0;
    QWidget* bottom_ = nullptr;
    std::function<void(TFormChanal*)> closeHandler_;
};
