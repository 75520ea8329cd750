#include "VCLUtils/MyWindow.h"

#include "Excpt/MyAssert.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <iterator>
#include <map>
#include <utility>
#include <vector>

// One event filter watches every registered window: Qt's counterpart of
// giving those windows a common window procedure.
class WindowsHandleMessageManagerT::Impl : public QObject {
public:
    void Register(QWidget* wnd, WindowMessageHandler handler)
    {
        const auto fnd = windows_.find(wnd);
        const auto e = windows_.end();
        MY_ASSERT_M(fnd == e, "fnd==e");
        windows_.emplace(wnd, MyWindowData{std::move(handler)});
        // A deleted window's address can come back with a new window.
        connect(wnd, &QObject::destroyed, this, [this](QObject* gone) { windows_.erase(gone); });
        wnd->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return CommonWindowProc(watched, event); }

private:
    // True when the handler took the event; false lets the window's own
    // handling run.
    bool CommonWindowProc(QObject* watched, QEvent* event)
    {
        const auto fnd = windows_.find(watched);
        if (fnd == windows_.end() || !fnd->second.handler)
            return false;
        // A copy: the handler may register windows or delete its own.
        const WindowMessageHandler handler = fnd->second.handler;
        bool handled = false;
        handler(static_cast<QWidget*>(watched), event, handled);
        return handled;
    }

    std::map<const QObject*, MyWindowData> windows_;
};

WindowsHandleMessageManagerT::WindowsHandleMessageManagerT() : impl_(new Impl) {}

WindowsHandleMessageManagerT& WindowsHandleMessageManagerT::Instance()
{
    // Never destroyed: registered windows may outlive every static object.
    static WindowsHandleMessageManagerT* const instance = new WindowsHandleMessageManagerT;
    return *instance;
}

void WindowsHandleMessageManagerT::RegisterWindowHandler(QWidget* wnd, WindowMessageHandler handler)
{
    MY_ASSERT(wnd != nullptr);
    impl_->Register(wnd, std::move(handler));
}

QWidget* CreateMyWindow(const std::string& className, const std::string& title, WindowMessageHandler handler)
{
    auto* wnd = new QWidget(nullptr, Qt::Window);
    wnd->setObjectName(QString::fromStdString(className));
    wnd->setWindowTitle(QString::fromStdString(title));
    wnd->setGeometry(0, 0, 100, 100);
    QPalette white = wnd->palette();
    white.setColor(QPalette::Window, Qt::white);
    wnd->setPalette(white);
    wnd->setAutoFillBackground(true);
    // A service window never keeps the program running or ends it.
    wnd->setAttribute(Qt::WA_QuitOnClose, false);
    WindowsHandleMessageManagerT::Instance().RegisterWindowHandler(wnd, std::move(handler));
    return wnd;
}

namespace {

struct BoxButton {
    QMessageBox::StandardButton button;
    int answer;
};

typedef std::vector<BoxButton> BoxButtons;

// The buttons of each MB_ type, in the Windows order (which MB_DEFBUTTONn
// counts in).
const BoxButtons& ButtonsOf(unsigned typeFlags)
{
    static const BoxButtons byType[] = {
        {{QMessageBox::Ok, IDOK}},
        {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}},
        {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}},
        {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}},
        {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}},
        {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}},
        {{QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Retry, IDTRYAGAIN}, {QMessageBox::Ignore, IDCONTINUE}},
    };
    const unsigned type = typeFlags & MB_TYPEMASK;
    // An unknown type still gets a box that can be closed.
    return type < std::size(byType) ? byType[type] : byType[MB_OK];
}

QMessageBox::Icon IconOf(unsigned typeFlags)
{
    switch (typeFlags & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

void AddButtons(QMessageBox& box, const BoxButtons& buttons, unsigned typeFlags)
{
    for (const BoxButton& b : buttons)
        box.addButton(b.button);
    const size_t def = (typeFlags & MB_DEFMASK) >> 8;
    box.setDefaultButton(buttons[def < buttons.size() ? def : 0].button);
}

int AnswerOf(const BoxButtons& buttons, QMessageBox::StandardButton pressed)
{
    for (const BoxButton& b : buttons)
        if (b.button == pressed)
            return b.answer;
    return 0;
}

} // namespace

int MyMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned typeFlags,
                 const std::string& spareTitle)
{
    // Without owner the box is a top-level window of its own, which gives it
    // the task-bar entry the Windows program borrowed a spare window for.
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromStdString(caption));
    // Exception texts may hold "<" and "&": never take them for markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(IconOf(typeFlags));
    const BoxButtons& buttons = ButtonsOf(typeFlags);
    AddButtons(box, buttons, typeFlags);
    if (typeFlags & (MB_SYSTEMMODAL | MB_TOPMOST))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (!owner)
        box.setWindowIconText(QString::fromStdString(spareTitle));
    const int result = box.exec(); // application modal
    QAbstractButton* clicked = box.clickedButton();
    return AnswerOf(buttons, clicked ? box.standardButton(clicked) : QMessageBox::StandardButton(result));
}
