#include "BusStats/BusStats.h"
#include "BusStats/BusStatsWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

using BusStats::Counter;
using BusStats::Outcome;

TEST(BusStatsWindowTest, ShowsOneRowPerAddressResetsAndCopiesTheTable)
{
    Counter& counter = Counter::Instance();
    counter.Reset();
    counter.Record(7, Outcome::Answer, 12);
    counter.Record(7, Outcome::BadCrc, 14);
    counter.Record(3, Outcome::NoAnswer, -1);

    BusStats::Window window;
    window.show();
    ASSERT_EQ(window.table->rowCount(), 2);
    EXPECT_EQ(window.table->horizontalHeaderItem(4)->text(), QStringLiteral("Ошибок CRC"));
    const auto cell = [&window](int row, int col) { return window.table->item(row, col)->text().toStdString(); };
    // Ascending addresses; a silent address has no latency figures.
    EXPECT_EQ(cell(0, 0), "3");
    EXPECT_EQ(cell(0, 3), "1");
    EXPECT_EQ(cell(0, 7), "-");
    EXPECT_EQ(cell(1, 0), "7");
    EXPECT_EQ(cell(1, 1), "2");
    EXPECT_EQ(cell(1, 2), "1");
    EXPECT_EQ(cell(1, 4), "1");
    EXPECT_EQ(cell(1, 7), "12");
    EXPECT_EQ(cell(1, 10), "14");

    window.copyButton->click();
    // The readings per second at the end of each line change with time.
    const std::string copied = QGuiApplication::clipboard()->text().toStdString();
    const std::string text = counter.Text();
    EXPECT_EQ(copied.substr(0, copied.find('\n')), text.substr(0, text.find('\n')));
    EXPECT_NE(copied.find("\n3\t1\t0\t1\t0\t0\t0\t-\t-\t-\t-\t0.0\n7\t2\t1\t0\t1\t0\t0\t12\t12\t14\t14\t"),
              std::string::npos)
        << copied;

    window.resetButton->click();
    EXPECT_EQ(window.table->rowCount(), 0);
    EXPECT_TRUE(counter.Rows().empty());
}
