#include "TestUtils.h"

#include "VCLUtils/IniFile.h"
#include "VCLUtils/iniUtils_.h"

#include <gtest/gtest.h>

class IniUtilsTest : public ::testing::Test {
protected:
    TempDir dir;
    my::IniFile ini{dir.File("form1.ini")};
};

// Each stored text through both range reads (50..2000): ReadIntInRange
// falls back to its default (120) silently, TryReadIntInRange says whether
// the text was a number in range and hands back what the conversion made.
TEST_F(IniUtilsTest, StoredTextsThroughBothRangeReads)
{
    const struct {
        const char* stored; // nullptr: key missing
        int32_t read;
        bool inRange;
        int32_t converted;
    } cases[] = {
        {"2500", 120, false, 2500}, {"2000", 2000, true, 2000}, {"50", 50, true, 50},
        {"49", 120, false, 49},     {"0x64", 120, false, 0},    {"abc", 120, false, 0},
        {"", 120, false, 0},        {" 300 ", 300, true, 300},  {"3 00", 120, false, 3},
        {nullptr, 120, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(missing)");
        if (c.stored)
            ini.WriteString("STATUS_PANEL", "w", c.stored);
        else
            ini.WriteString("other", "x", "1");
        const char* key = c.stored ? "w" : "missing";
        EXPECT_EQ(ReadIntInRange(ini, "STATUS_PANEL", key, 50, 2000, 120), c.read);
        int32_t v = -1;
        EXPECT_EQ(TryReadIntInRange(ini, "STATUS_PANEL", key, 50, 2000, v), c.inRange);
        EXPECT_EQ(v, c.converted);
    }
}

TEST_F(IniUtilsTest, RangePreconditionsAreContractChecks)
{
    EXPECT_DEATH(ReadIntInRange(ini, "S", "k", 10, 5, 7), "valMin<=valMax && defVal<=valMax && valMin<=defVal");
    EXPECT_DEATH(ReadIntInRange(ini, "S", "k", 0, 5, 7), "valMin<=valMax && defVal<=valMax && valMin<=defVal");
    int32_t v;
    EXPECT_DEATH(TryReadIntInRange(ini, "S", "k", 10, 5, v), "valMin<=valMax");
}

TEST_F(IniUtilsTest, PlacementKeysInOrderAndMissingKeysKeepTheirValue)
{
    WindowPlacementRec rec;
    rec.showCmd = WindowPlacementRec::ShowMaximized;
    rec.left = 10;
    rec.top = 20;
    rec.right = 810;
    rec.bottom = 620;
    WritePlacementKeys(rec, ini, "FORM1");
    EXPECT_EQ(ReadBytes(ini.FileName()), WinText("[FORM1]\n"
                                                 "length=44\n"
                                                 "flags=0\n"
                                                 "showCmd=3\n"
                                                 "ptMinPosition.x=-1\n"
                                                 "ptMinPosition.y=-1\n"
                                                 "ptMaxPosition.x=-1\n"
                                                 "ptMaxPosition.y=-1\n"
                                                 "rcNormalPosition.left=10\n"
                                                 "rcNormalPosition.top=20\n"
                                                 "rcNormalPosition.right=810\n"
                                                 "rcNormalPosition.bottom=620\n"));

    my::IniFile partial(dir.File("partial.ini"));
    partial.WriteInteger("FORM1", "rcNormalPosition.left", 99);
    WindowPlacementRec back = rec;
    ReadPlacementKeys(back, partial, "FORM1");
    EXPECT_EQ(back.left, 99);
    EXPECT_EQ(back.top, 20);
    EXPECT_EQ(back.showCmd, WindowPlacementRec::ShowMaximized);
}
