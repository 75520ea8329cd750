#include "TestUtils.h"
#include "WidgetTestUtils.h"

#include "Excpt/FatalError.h"
#include "Excpt/MyExeption.h"
#include "VCLUtils/MyDialogs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

TEST(ShowInputErrorTest, EmptyAndWrongEntries)
{
    const struct {
        const char* entered;
        const char* text;
    } cases[] = {
        {"", "Отсутствуют данные в поле \"Задержка отправки, мсек\"!"},
        {"10,5", "Не корректные данные \"10,5\" в поле \"Задержка отправки, мсек\"!"},
    };
    for (const auto& c : cases) {
        ModalBoxWatcher watcher;
        ShowInputError("Задержка отправки, мсек", c.entered);
        const auto& seen = watcher.Result();
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.caption.toStdString(), "Некорректный ввод!");
        EXPECT_EQ(seen.text.toStdString(), c.text);
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_FALSE(seen.hadParent);
    }
}

TEST(ShowLastWinErrorBoxTest, ReportsTheSystemTextInABox)
{
    InstallLastWinErrorBox();
    ModalBoxWatcher watcher;
    errno = EACCES;
    ShowLastWinError("Ошибка при создании каталога.\n/x/Log\n");
    const auto& seen = watcher.Result();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.caption.toStdString(), "Последняя WIN-ошибка.");
    EXPECT_EQ(seen.text.toStdString(), "Ошибка при создании каталога.\n/x/Log\nPermission denied");
    SetLastWinErrorBox(nullptr);
}

TEST(GuiHooksDeathTest, FatalErrorOfASynchronousCallIsShownInABoxThenTheProgramEnds)
{
    ThreadsafeDeathTests style;
    const auto fatal = [] {
        InstallGuiHooks();
        // The box is reported before it is answered: the program ends as soon
        // as it closes.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                std::fprintf(stderr, "box [%s] [%s] parent %d\n", box->windowTitle().toUtf8().data(),
                             box->text().toUtf8().data(), box->parentWidget() != nullptr);
                box->accept();
            }
        });
        answer.start(5);
        QTimer::singleShot(0, [] {
            ReportFatalException("ModuleImpl::WndProc",
                                 PMyExcpt(new MyException(FileLine(7, "/src/task_.cpp"), "сбой")));
        });
        QApplication::exec();
        std::_Exit(0);
    };
    EXPECT_EXIT(fatal(), ::testing::ExitedWithCode(1),
                "box \\[ModuleImpl::WndProc\\] \\[Необработанное исключение в ModuleImpl::WndProc!\n"
                "task_.cpp 7 сбой \\] parent 0");
}
