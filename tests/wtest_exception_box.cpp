// What the user reads when an error leaves an event handler.
#include "WidgetTestUtils.h"

#include "Application/ExceptionBox.h"
#include "Excpt/MyExeption.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ShowCaughtExceptionTest, TheProgramsOwnErrorsShowTheirMessage)
{
    const struct {
        std::exception_ptr caught;
        const char* text;
    } cases[] = {
        {std::make_exception_ptr(PMyExcpt(new MyException(FILE_LINE, "Не удалось создать поток!"))),
         "Не удалось создать поток!"},
        // The outermost message, as the last-resort report gives it.
        {std::make_exception_ptr(PMyExcpt(new MyException(
             FILE_LINE, "Ошибка записи", PMyExcpt(new MyWindowsException(EACCES, FILE_LINE, "comm.ini"))))),
         "Ошибка записи"},
        {std::make_exception_ptr(std::runtime_error("bad_alloc here")), "bad_alloc here"},
        {std::make_exception_ptr(42), ""},
    };
    for (const auto& c : cases) {
        ModalBoxWatcher watcher;
        ShowCaughtException(c.caught);
        const auto& seen = watcher.Result();
        ASSERT_TRUE(seen.shown) << c.text;
        EXPECT_EQ(seen.text.toStdString(), c.text);
        EXPECT_EQ(seen.caption.toStdString(), "КАЛИСТ-8");
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
    }
}
