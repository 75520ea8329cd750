#include "WidgetTestUtils.h"

#include "VCLUtils/MessageBoxFlags.h"
#include "VCLUtils/MyWindow.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

int VisibleWindows()
{
    int n = 0;
    for (const QWidget* w : QApplication::topLevelWidgets())
        n += w->isVisible() ? 1 : 0;
    return n;
}

} // namespace

TEST(MyMessageBoxTest, WithoutOwnerBeforeAnyWindow)
{
    ASSERT_EQ(VisibleWindows(), 0) << "another test left a window open";
    typedef QMessageBox Q;
    const struct {
        const char* text;
        unsigned flags;
        Q::StandardButton press;
        int answer;
        Q::Icon icon;
        Q::StandardButtons buttons;
        Q::StandardButton defaultButton;
        bool onTop;
    } cases[] = {
        {"Приложение КАЛИСТ-8\n уже работает.", MB_ICONINFORMATION | MB_SYSTEMMODAL, Q::Ok, IDOK, Q::Information, Q::Ok,
         Q::Ok, true},
        {"Необработанное исключение в ModuleImpl::WndProc!\na.cpp 5 <b>не разметка</b> &amp;", MB_ICONERROR, Q::Ok,
         IDOK, Q::Critical, Q::Ok, Q::Ok, false},
        {"Сохранить?", MB_YESNOCANCEL | MB_ICONQUESTION, Q::No, IDNO, Q::Question, Q::Yes | Q::No | Q::Cancel, Q::Yes,
         false},
        {"Повторить?", MB_RETRYCANCEL | MB_ICONWARNING | MB_DEFBUTTON2, Q::Cancel, IDCANCEL, Q::Warning,
         Q::Retry | Q::Cancel, Q::Cancel, false},
        {"Продолжить?", MB_OKCANCEL | MB_DEFBUTTON4, Q::Ok, IDOK, Q::NoIcon, Q::Ok | Q::Cancel, Q::Ok, false},
        {"Да или нет?", MB_YESNO | MB_TOPMOST, Q::Yes, IDYES, Q::NoIcon, Q::Yes | Q::No, Q::Yes, true},
        {"Сбой.", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, Q::Retry, IDRETRY, Q::NoIcon, Q::Abort | Q::Retry | Q::Ignore,
         Q::Ignore, false},
        {"Ещё раз?", MB_CANCELTRYCONTINUE, Q::Ignore, IDCONTINUE, Q::NoIcon, Q::Cancel | Q::Retry | Q::Ignore,
         Q::Cancel, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ModalBoxWatcher watcher(c.press);
        EXPECT_EQ(MyMessageBox(nullptr, c.text, "КАЛИСТ-8", c.flags, "Окно КАЛИСТ-8"), c.answer);
        const auto& seen = watcher.Result();
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.caption.toStdString(), "КАЛИСТ-8");
        EXPECT_EQ(seen.text.toStdString(), c.text);
        EXPECT_EQ(seen.textFormat, Qt::PlainText);
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.defaultButton, c.defaultButton);
        EXPECT_EQ(seen.flags.testFlag(Qt::WindowStaysOnTopHint), c.onTop);
        EXPECT_FALSE(seen.hadParent);
        EXPECT_EQ(seen.iconText.toStdString(), "Окно КАЛИСТ-8");
        EXPECT_EQ(seen.otherVisibleWindows, 0);
        EXPECT_EQ(VisibleWindows(), 0);
    }
}

TEST(MyMessageBoxTest, WithOwnerNoOtherWindowAppears)
{
    QWidget owner;
    owner.show();
    const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());
    ModalBoxWatcher watcher(QMessageBox::Ok);
    EXPECT_EQ(MyMessageBox(&owner, "Текст", "Заголовок", MB_ICONWARNING, "Не нужен"), IDOK);
    const auto& seen = watcher.Result();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.parent, &owner);
    EXPECT_EQ(seen.windows, windowsBefore + 1);
    EXPECT_EQ(seen.otherVisibleWindows, 1);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(VisibleWindows(), 1);
}
