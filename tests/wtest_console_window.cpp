#include "Application/StdoutRouter.h"
#include "Application/guicon.h"
#include "Excpt/MyExeption.h"
#include "TestUtils.h"
#include "VCLUtils/MyDialogs.h"
#include "WidgetTestUtils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

Lines Numbered(const char* stem, int from, int to)
{
    Lines lines;
    for (int i = from; i < to; ++i)
        lines.push_back(stem + std::to_string(i));
    return lines;
}

template <class Pred>
bool WaitFor(Pred done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(ConsoleWindow, StartsHiddenAndClosingOnlyHidesIt)
{
    ConsoleWindow w;
    EXPECT_TRUE(w.isHidden());
    EXPECT_TRUE(w.isReadOnly());
    EXPECT_FALSE(w.testAttribute(Qt::WA_QuitOnClose));
    w.AppendLines({"kept"});
    w.show();
    ASSERT_TRUE(w.isVisible());
    w.close();
    EXPECT_TRUE(w.isHidden());
    EXPECT_EQ(w.Rows(), Lines{"kept"});
}

// What the text view shows, row by row.
std::string ViewText(const ConsoleWindow& w) { return w.toPlainText().toStdString(); }

std::string Joined(const Lines& rows)
{
    std::string text;
    for (size_t i = 0; i < rows.size(); ++i)
        text += (i ? "\n" : "") + rows[i];
    return text;
}

TEST(ConsoleWindow, ViewShowsTheRowsWhetherTheyArrivedHiddenOrShown)
{
    ConsoleWindow w;
    w.AppendLines({"", "hidden 1", "hidden 2"});
    w.show();
    EXPECT_EQ(ViewText(w), "\nhidden 1\nhidden 2");
    w.AppendLines({"shown"});
    EXPECT_EQ(ViewText(w), Joined(w.Rows()));
    w.hide();
    w.AppendLines(Numbered("later ", 0, 10000));
    w.show();
    EXPECT_EQ(ViewText(w), Joined(w.Rows()));
    EXPECT_EQ(w.verticalScrollBar()->value(), w.verticalScrollBar()->maximum());
    w.AppendLines({"at the end"});
    EXPECT_EQ(w.document()->blockCount(), 9999);
    EXPECT_EQ(ViewText(w), Joined(w.Rows()));
}

TEST(ConsoleWindow, SnapshotBytes)
{
    const struct {
        const char* what;
        Lines rows;
        std::string file;  // UTF-8 with \n; stored as Windows-1251 with CRLF
    } cases[] = {
        {"Cyrillic in Windows-1251", {"Связь установлена", "КАЛИСТ-8: ёЁ №"}, "Связь установлена\nКАЛИСТ-8: ёЁ №\n"},
        {"trailing blanks, tabs and NULs cut, leading kept",
         {"   отступ", "хвост \t ", std::string("nul\0\0", 5), "\t\t---Ctrl+Break pressed!---"},
         "   отступ\nхвост\nnul\n\t\t---Ctrl+Break pressed!---\n"},
        {"empty and blank rows skipped", {"", "a", "    ", "\t", "b", ""}, "a\nb\n"},
        {"carriage return overwrites the row's start", {"progress 10%\rdone"}, "doneress 10%\n"},
        {"nothing to keep", {"", "  "}, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ConsoleWindow w;
        w.AppendLines(c.rows);
        ASSERT_TRUE(WriteConsoleRows(w.Rows(), dir.File("STDOUT.LOG"))) << c.what;
        EXPECT_EQ(ReadBytes(dir.File("STDOUT.LOG")), WinText(c.file)) << c.what;
    }

    // The code page spelled out once, byte by byte.
    TempDir dir;
    ASSERT_TRUE(WriteConsoleRows({"Связь №1"}, dir.File("STDOUT.LOG")));
    EXPECT_EQ(ReadBytes(dir.File("STDOUT.LOG")), "\xD1\xE2\xFF\xE7\xFC \xB9" "1\r\n");
}

TEST(ConsoleWindow, SnapshotThatCannotBeCreatedShowsOnlyTheSystemText)
{
    TempDir dir;
    InstallLastWinErrorBox();
    ModalBoxWatcher box;
    EXPECT_FALSE(WriteConsoleRows({"row"}, dir.File("missing/STDOUT.LOG")));
    SetLastWinErrorBox(nullptr);
    ASSERT_TRUE(box.Result().shown);
    EXPECT_EQ(box.Result().caption.toStdString(), "Последняя WIN-ошибка.");
    EXPECT_EQ(box.Result().text.toStdString(), WinErrorText(ENOENT));
}

TEST(ConsoleWindow, KeepsTheNewest9999Rows)
{
    ConsoleWindow w;
    w.AppendLines(Numbered("row ", 0, 6000));
    w.AppendLines(Numbered("row ", 6000, 10000));
    w.AppendLines(Numbered("row ", 10000, 10050));
    Lines rows = w.Rows();
    ASSERT_EQ(rows.size(), 9999u);
    EXPECT_EQ(rows.front(), "row 51");
    EXPECT_EQ(rows.back(), "row 10049");

    // One batch larger than the buffer.
    ConsoleWindow big;
    big.AppendLines(Numbered("row ", 0, 12000));
    rows = big.Rows();
    ASSERT_EQ(rows.size(), 9999u);
    EXPECT_EQ(rows.front(), "row 2001");

    TempDir dir;
    ASSERT_TRUE(WriteConsoleRows(rows, dir.File("STDOUT.LOG")));
    const std::string bytes = ReadBytes(dir.File("STDOUT.LOG"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 9999);
    EXPECT_EQ(bytes.substr(0, 10), "row 2001\r\n");
}

TEST(ConsoleWindow, StdoutOfAnotherThreadReachesTheConsoleAndTheOriginalStdout)
{
    std::ostringstream originalStdout;
    std::streambuf* const saved = std::cout.rdbuf(originalStdout.rdbuf());
    {
        ConsoleWindow w;
        my::StdoutRouter router(std::cout, [&w] { w.RequestBatch(); });
        w.Attach(&router);

        std::thread worker([] {
            for (int i = 0; i < 300; ++i)
                std::cout << "worker " << i << std::endl;
        });
        std::cout << "main\n";
        worker.join();

        ASSERT_TRUE(WaitFor([&w] { return w.Rows().size() == 301; })) << w.Rows().size();
        Lines fromWorker;
        for (const auto& row : w.Rows())
            if (row != "main")
                fromWorker.push_back(row);
        EXPECT_EQ(fromWorker, Numbered("worker ", 0, 300));
        w.Attach(nullptr);
    }
    std::cout.rdbuf(saved);
    const std::string echoed = originalStdout.str();
    EXPECT_NE(echoed.find("worker 0\n"), std::string::npos);
    EXPECT_NE(echoed.find("worker 299\n"), std::string::npos);
    EXPECT_NE(echoed.find("main\n"), std::string::npos);
}

class ConsoleView : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.resize(400, 200);
        w.show();
        w.AppendLines(Numbered("row ", 0, 500));
        QApplication::processEvents();
        bar = w.verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
    }
    std::string TopRow() { return w.cursorForPosition(QPoint(2, 2)).block().text().toStdString(); }

    ConsoleWindow w;
    QScrollBar* bar = nullptr;
};

TEST_F(ConsoleView, FollowsNewRowsOnlyAtTheBottom)
{
    EXPECT_EQ(bar->value(), bar->maximum());
    w.AppendLines(Numbered("more ", 0, 100));
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(10);
    const std::string top = TopRow();
    w.AppendLines(Numbered("later ", 0, 100));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(TopRow(), top);
}

TEST_F(ConsoleView, KeepsTheUsersSelectionAndPlace)
{
    QTextCursor sel(w.document()->findBlockByNumber(300));
    sel.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    w.setTextCursor(sel);
    bar->setValue(295);
    const std::string top = TopRow();

    // Fill the buffer so that rows drop out at the top.
    w.AppendLines(Numbered("flood ", 0, 9999 - 500 + 40));
    QApplication::processEvents();
    EXPECT_EQ(w.textCursor().selectedText().toStdString(), "row 300");
    EXPECT_EQ(TopRow(), top);
}

} // namespace
