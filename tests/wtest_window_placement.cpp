#include "TestUtils.h"

#include "VCLUtils/IniFile.h"
#include "VCLUtils/WindowPlacement.h"

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
