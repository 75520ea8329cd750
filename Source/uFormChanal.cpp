#include "uFormChanal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QFontMetrics>
#include <QResizeEvent>

#include <algorithm>

namespace {

QLabel* NewLabel(QWidget* parent, const char* name, const QColor& color)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    return label;
}

} // namespace

TFormChanal::TFormChanal(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint),
      Label1(NewLabel(this, "Label1", QColor(0, 0, 128))),
      Label2(NewLabel(this, "Label2", QColor(0, 0, 255)))
{
    setObjectName(QStringLiteral("FormChanal"));
    setWindowTitle(QString());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(23);
    setFont(f);
    Label1->setFont(f);
    Label2->setFont(f);
    // Qt keeps every size at or above the minimum, so the window starts
    // 400 wide rather than the 382 it asks for.
    setMinimumSize(MinWidth, MinHeight);
    resize(382, 266);
    FormResize();
}

void TFormChanal::SetBottom(QWidget* w)
{
    bottom_ = w;
    w->setParent(this);
    // Its own text size: the window's font grows with the window for the
    // large texts, and would otherwise reach into w.
    QFont f = QApplication::font();
    f.setFamily(f.family());
    f.setPointSizeF(f.pointSizeF());
    w->setFont(f);
    setMinimumHeight(MinHeight + BottomHeight);
    resize(width(), height() + BottomHeight);
    FormResize();
    w->show();
}

void TFormChanal::FormResize()
{
    const int h = height() - (bottom_ ? BottomHeight : 0);
    if (bottom_)
        bottom_->setGeometry(0, h, width(), BottomHeight);
    QFont f = font();
    f.setPixelSize(std::max(1, (h - 100) / 2));
    setFont(f);
    Label1->setFont(f);
    Label2->setFont(f);
    // The labels reach to the window's right edge, so a longer text set later
    // shows as far as the window does.
    const int labelWidth = std::max(0, width() - 10);
    const int labelHeight = QFontMetrics(f).height();
    Label1->setGeometry(10, 10, labelWidth, labelHeight);
    Label2->setGeometry(10, h / 2 + 10, labelWidth, labelHeight);
}

void TFormChanal::FormCanResize(int& newWidth, int& newHeight)
{
    newWidth = std::max(newWidth, static_cast<int>(MinWidth));
    newHeight = std::max(newHeight, static_cast<int>(MinHeight));
}

void TFormChanal::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TFormChanal::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closeHandler_)
        closeHandler_(this);
}
