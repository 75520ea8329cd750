#include "uFrmWait.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor WaitBackground(245, 237, 241);
const QColor Maroon(128, 0, 0);

QFont CaptionFont()
{
    QFont font(QStringLiteral("Arial"));
    // Where Arial is missing, the desktop's sans-serif face at the same size.
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(30);
    return font;
}

QLabel* MakeCaption(QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("Пожалуйста, подождите..."), parent);
    label->setObjectName(QStringLiteral("Panel2"));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(CaptionFont());
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, WaitBackground);
    pal.setColor(QPalette::WindowText, Maroon);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
    // The window's width is FitToCaption's decision: the caption never
    // stretches or limits it.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    return label;
}

QProgressBar* MakeProgress(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("pb1"));
    bar->setFixedHeight(15);
    bar->setRange(0, 100);
    bar->setValue(50);
    bar->setTextVisible(false);
    bar->hide();
    return bar;
}

} // namespace

TFrmWait::TFrmWait(QWidget* owner)
    // A tool window: above the others, no task-bar entry of its own.
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Panel2(MakeCaption(this)),
      pb1(MakeProgress(this))
{
    setObjectName(QStringLiteral("FrmWait"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, WaitBackground);
    setPalette(pal);
    setAutoFillBackground(true);
    // A notice only: it takes no focus from the window the user works in,
    // and while it is shown, closing the main window still ends the program.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel2, 1);
    layout->addWidget(pb1);
    resize(267, 54);
    FitToCaption();
    QCoreApplication::instance()->installEventFilter(this);
}

void TFrmWait::FitToCaption()
{
    const int textWidth = QFontMetrics(Panel2->font()).horizontalAdvance(Panel2->text());
    resize(textWidth + 100, height());
    CentreOnScreen();
}

// Only its creator ends the panel, by deleting it: close(), the window
// manager's close button and Alt+F4 all leave it open. Only the
// application's quitting may close it.
void TFrmWait::closeEvent(QCloseEvent* event) { event->setAccepted(appQuitting_); }

bool TFrmWait::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        appQuitting_ = true;
        // Another window may refuse the quit; the panel refuses closes again
        // once the quit request has been handled.
        QTimer::singleShot(0, this, [this] { appQuitting_ = false; });
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmWait::CentreOnScreen()
{
    const QRect area = screen()->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}
