#include "ArchiveBlocks.h"
#include "TestUtils.h"
#include "WidgetTestUtils.h"

#include "ArchiveViewer/ArchiveWindow.h"
#include "DevSys/Catalogue.h"
#include "Plots/TimePlot.h"

#include <QChart>
#include <QHeaderView>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>

using namespace archive_blocks;

namespace {

std::string Sep() { return QLocale::system().decimalPoint().toStdString(); }

class ArchiveWindowTest : public ::testing::Test {
protected:
    std::string SavedBlock(const std::string& name, const std::string& block)
    {
        WriteBytes(dir.File(name), block);
        return dir.File(name);
    }

    std::vector<std::vector<std::string>> Cells() const { return Cells(window); }
    static std::vector<std::vector<std::string>> Cells(const ArchiveWindow& shown)
    {
        std::vector<std::vector<std::string>> rows;
        const QTableWidget* t = shown.Table();
        std::vector<std::string> header;
        for (int c = 0; c < t->columnCount(); ++c)
            header.push_back(t->horizontalHeaderItem(c)->text().toStdString());
        rows.push_back(header);
        for (int r = 0; r < t->rowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < t->columnCount(); ++c)
                row.push_back(t->item(r, c)->text().toStdString());
            rows.push_back(row);
        }
        return rows;
    }

    TempDir dir;
    // The catalogue is read when names is made.
    const bool catalogueWritten = (WriteBytes(dir.File("vars.ini"), WinText(kVarsIni)), true);
    const ThisModule names{dir.Path()};
    ArchiveWindow window{dir.File("archive.txt"), names};
};

} // namespace

TEST_F(ArchiveWindowTest, SavedArchiveShowsItsValidRecordsAndPlotsItsSlots)
{
    ASSERT_TRUE(window.OpenFile(SavedBlock("5_2026-03-07_09-05-04.bin", MixedBlock())));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Архив");
    const std::string s = Sep();
    const std::vector<std::vector<std::string>> expected = {
        {"№", "Дата и время", "CH4 / 2", "Температура", "200", "CH4", "Температура"},
        {"1", "25.12.2007 14:30", "12" + s + "500", "-0" + s + "750", "", "0" + s + "123", ""},
        {"255", "01.02.2003 04:05", "", "", "", "", ""},
        {"0", "1A.12.2007 1A:00", "", "", "", "", "12" + s + "340"},
        {"199", "31.01.2099 23:59", "7" + s + "000", "", "", "", ""},
    };
    EXPECT_EQ(Cells(), expected);
    // Offline: no "archive.txt" belongs to it.
    EXPECT_FALSE(window.OpenTextButton()->isVisibleTo(&window));

    // One line per slot; slot 4 holds only an invalid value and the
    // record of broken date has no place in time.
    EXPECT_EQ(window.Plot()->VisibleLines().size(), 5u);
    size_t points = 0;
    for (QAbstractSeries* series : window.Plot()->chart()->series())
        for (const QPointF& p : static_cast<QLineSeries*>(series)->points()) {
            EXPECT_FALSE(std::isnan(p.y()));
            ++points;
        }
    EXPECT_EQ(points, 4u); // 12.5, -0.75, 0.123 at 25.12.2007 and 7 at 31.01.2099
    window.Plot()->SetLineVisible(0, false);
    EXPECT_EQ(window.Plot()->VisibleLines().size(), 4u);
}

TEST_F(ArchiveWindowTest, ExportWritesTheCsvOfRecordings)
{
    ASSERT_TRUE(window.OpenFile(SavedBlock("a.bin", MixedBlock())));
    ASSERT_TRUE(window.ExportCsv(dir.File("a.csv")));
    const std::string s = Sep();
    EXPECT_EQ(ReadBytes(dir.File("a.csv")),
              WinText("Дата;Время;Слот 1: CH4 / 2;Слот 2: Температура;Слот 4: 200;Слот 6: CH4;Слот 8: Температура\n"
                      "25.12.2007;14:30:00;12" + s + "500;-0" + s + "750;;0" + s + "123;\n"
                      "01.02.2003;04:05:00;;;;;\n"
                      "1A.12.2007;1A:00:00;;;;;12" + s + "340\n"
                      "31.01.2099;23:59:00;7" + s + "000;;;;\n"));

    ModalBoxWatcher box;
    EXPECT_FALSE(window.ExportCsv(dir.File("missing/a.csv")));
    EXPECT_TRUE(box.Result().shown);
}

TEST_F(ArchiveWindowTest, WrongSizeOrUnreadableFileIsReportedAndChangesNothing)
{
#ifdef __SANITIZE_ADDRESS__
    // Once a modal box has run over the shown chart, Qt Charts leaves the
    // chart's scene behind when the window goes; that is not what this test
    // looks at, so the window's own allocations are left out of the leak check.
    __lsan::ScopedDisabler chartSceneLeftBehind;
#endif
    ArchiveWindow window{dir.File("archive.txt"), names};
    ASSERT_TRUE(window.OpenFile(SavedBlock("a.bin", MixedBlock())));
    const auto before = Cells(window);
    std::string shorter = MixedBlock();
    shorter.pop_back();
    for (const std::string& path : {SavedBlock("short.bin", shorter), SavedBlock("long.bin", MixedBlock() + "x"),
                                    dir.File("missing.bin")}) {
        ModalBoxWatcher box;
        EXPECT_FALSE(window.OpenFile(path)) << path;
        EXPECT_TRUE(box.Result().shown) << path;
        EXPECT_TRUE(box.Result().text.contains(QString::fromStdString(path))) << box.Result().text.toStdString();
        EXPECT_EQ(Cells(window), before) << path;
    }
}

TEST(TimePlotTest, InvalidReadingBreaksTheLine)
{
    TimePlot plot;
    const double nan = std::nan("");
    plot.SetLines({{"a", {{0, 1}, {1000, 2}, {2000, nan}, {3000, 4}}}, {"b", {{0, nan}, {1000, 5}}}});
    const QList<QAbstractSeries*> series = plot.chart()->series();
    ASSERT_EQ(series.size(), 3);
    EXPECT_EQ(static_cast<QLineSeries*>(series[0])->points(), (QList<QPointF>{{0, 1}, {1000, 2}}));
    EXPECT_EQ(static_cast<QLineSeries*>(series[1])->points(), (QList<QPointF>{{3000, 4}}));
    EXPECT_EQ(static_cast<QLineSeries*>(series[2])->points(), (QList<QPointF>{{1000, 5}}));
    // Both runs of "a" go together.
    plot.SetLineVisible(0, false);
    EXPECT_FALSE(series[0]->isVisible());
    EXPECT_FALSE(series[1]->isVisible());
    EXPECT_TRUE(series[2]->isVisible());
    EXPECT_EQ(plot.VisibleLines(), std::vector<QString>{"b"});
}
