#include "WidgetTestUtils.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/MyDialogs.h"

#include <gtest/gtest.h>

#include <cerrno>

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
