#include "TestUtils.h"

#include "VCLUtils/IniFile.h"
#include "VCLUtils/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

TEST(WindowPlacementTest, SavedPlacementRestoresTheWindow)
{
    TempDir dir;
    my::IniFile ini(dir.File("form1.ini"));
    QRect frame;
    {
        QWidget w;
        w.resize(640, 480);
        w.move(30, 40);
        w.show();
        frame = w.frameGeometry();
        SaveWindowPlacement(w, ini, "FORM1");
    }
    EXPECT_EQ(ini.ReadInteger("FORM1", "length", 0), 44);
    EXPECT_EQ(ini.ReadInteger("FORM1", "showCmd", 0), 1);
    EXPECT_EQ(ini.ReadInteger("FORM1", "ptMinPosition.x", 0), -1);
    EXPECT_EQ(ini.ReadInteger("FORM1", "rcNormalPosition.left", 0), 30);
    EXPECT_EQ(ini.ReadInteger("FORM1", "rcNormalPosition.top", 0), 40);
    EXPECT_EQ(ini.ReadInteger("FORM1", "rcNormalPosition.right", 0), 30 + frame.width());
    EXPECT_EQ(ini.ReadInteger("FORM1", "rcNormalPosition.bottom", 0), 40 + frame.height());

    // A new window, not shown yet, comes back with the same frame: it does
    // not grow by its frame at every start.
    QWidget w;
    LoadWindowPlacement(w, ini, "FORM1");
    w.show();
    EXPECT_EQ(w.frameGeometry(), frame);
    EXPECT_EQ(w.size(), QSize(640, 480));
}

TEST(WindowPlacementTest, MaximisedWindowKeepsItsNormalRectangle)
{
    TempDir dir;
    my::IniFile ini(dir.File("form1.ini"));
    ini.WriteInteger("FORM1", "showCmd", 3);
    ini.WriteInteger("FORM1", "rcNormalPosition.left", 100);
    ini.WriteInteger("FORM1", "rcNormalPosition.top", 50);
    ini.WriteInteger("FORM1", "rcNormalPosition.right", 500);
    ini.WriteInteger("FORM1", "rcNormalPosition.bottom", 350);
    QWidget w;
    LoadWindowPlacement(w, ini, "FORM1");
    w.show();
    EXPECT_TRUE(w.isMaximized());

    my::IniFile out(dir.File("out.ini"));
    SaveWindowPlacement(w, out, "FORM1");
    EXPECT_EQ(out.ReadInteger("FORM1", "showCmd", 0), 3);
    EXPECT_EQ(out.ReadInteger("FORM1", "rcNormalPosition.left", 0), 100);
    EXPECT_EQ(out.ReadInteger("FORM1", "rcNormalPosition.right", 0), 500);
}

TEST(WindowPlacementTest, SectionWithoutKeysLeavesTheWindowWhereItIs)
{
    TempDir dir;
    const my::IniFile ini(dir.File("empty.ini"));
    QWidget w;
    w.resize(300, 200);
    w.move(70, 80);
    w.show();
    const QRect before = w.frameGeometry();
    LoadWindowPlacement(w, ini, "FORM1");
    EXPECT_EQ(w.frameGeometry(), before);
    EXPECT_FALSE(w.isMaximized());
    EXPECT_FALSE(w.isMinimized());
}

// Two monitors side by side, the left one with a panel along its bottom.
struct FitCase {
    const char* what;
    QRect frame;
    QRect expected;
};

class FitIntoAvailableAreaTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitIntoAvailableAreaTest, TheWholeFrameOnOneScreen)
{
    const QList<QRect> areas{QRect(0, 0, 1280, 760), QRect(1280, 0, 1920, 1080)};
    EXPECT_EQ(FitIntoAvailableArea(GetParam().frame, areas), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitIntoAvailableAreaTest,
    ::testing::Values(FitCase{"inside stays", QRect(100, 50, 640, 480), QRect(100, 50, 640, 480)},
                      FitCase{"a gone third monitor: onto the nearest, size kept", QRect(4000, 300, 640, 480),
                              QRect(3200 - 640, 300, 640, 480)},
                      FitCase{"far above and left", QRect(-5000, -5000, 640, 480), QRect(0, 0, 640, 480)},
                      FitCase{"across both: onto the one it covers most", QRect(1100, 100, 400, 300),
                              QRect(1280, 100, 400, 300)},
                      FitCase{"below the panel: moved up", QRect(206, 145, 996, 697), QRect(206, 63, 996, 697)},
                      FitCase{"larger than the screen: cut to it", QRect(-10, 20, 1400, 900),
                              QRect(0, 0, 1280, 760)}));

// The offscreen platform has one screen; a frame far outside it comes back
// on it, one larger than it is cut to it.
TEST(WindowPlacementTest, RestoredWindowIsPutOnTheScreen)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        QRect stored;
        QSize size;
    } cases[] = {{QRect(available.right() + 3000, available.bottom() + 2000, 300, 200), QSize(300, 200)},
                 {QRect(10, 10, available.width() * 2, available.height() + 50), available.size()}};
    for (const auto& c : cases) {
        TempDir dir;
        my::IniFile ini(dir.File("form1.ini"));
        ini.WriteInteger("FORM1", "rcNormalPosition.left", c.stored.left());
        ini.WriteInteger("FORM1", "rcNormalPosition.top", c.stored.top());
        ini.WriteInteger("FORM1", "rcNormalPosition.right", c.stored.left() + c.stored.width());
        ini.WriteInteger("FORM1", "rcNormalPosition.bottom", c.stored.top() + c.stored.height());
        QWidget w;
        LoadWindowPlacement(w, ini, "FORM1");
        w.show();
        EXPECT_TRUE(available.contains(w.frameGeometry())) << w.frameGeometry().x() << "," << w.frameGeometry().y();
        EXPECT_EQ(w.frameGeometry().size(), c.size);
    }
}
