#include "TestUtils.h"

#include "DevSys/Catalogue.h"

#include <gtest/gtest.h>

class CatalogueTest : public ::testing::Test {
protected:
    TempDir dir;
    void Put(const char* name, const char* text) { WriteBytes(dir.File(name), WinText(text)); }
};

TEST_F(CatalogueTest, NamesAndScalesByCode)
{
    Put("vars.ini", "[3]\nname=CO\n[abc]\nname=мусор\n[-1]\nname=минус\n[ 7]\nname=пробел\n[8x]\nname=x\n"
                    "[9]\nname=\n");
    Put("units.ini", "[7]\nother=1\n[1]\nname=% НКПР\n");
    Put("scales.ini", "[2]\n0=0\n1=0,5\n[3]\n0=10\n1=10\n[4]\n0=-1\n1=5\n[5]\n0=1\n1=x\n[6]\n0=1.5\n1=2\n"
                      "[-1]\n0=0\n1=1\n");
    const ThisModule m(dir.Path());

    EXPECT_EQ(m.VarName(3), "CO");
    EXPECT_EQ(m.VarName(4), "4");
    EXPECT_EQ(m.VarName(7), "пробел");
    EXPECT_EQ(m.VarName(8), "8");
    EXPECT_EQ(m.VarName(9), "");
    EXPECT_EQ(m.VarName(4294967295u), "4294967295");
    EXPECT_EQ(m.UnitName(7), "...");
    EXPECT_EQ(m.UnitName(1), "% НКПР");

    EXPECT_EQ(m.ScaleOf(2), std::make_pair(0.0, 0.5));
    EXPECT_EQ(m.ScaleOf(3), std::make_pair(0.0, 0.0));
    EXPECT_EQ(m.ScaleOf(4), std::make_pair(0.0, 0.0));
    EXPECT_EQ(m.ScaleOf(5), std::make_pair(0.0, 0.0));
    EXPECT_EQ(m.ScaleOf(6), std::make_pair(1.5, 2.0));
    EXPECT_EQ(m.ScaleOf(4294967295u), std::make_pair(0.0, 0.0));
}

TEST_F(CatalogueTest, LaterValidSectionOfTheSameCodeWins)
{
    Put("vars.ini", "[5]\nname=первый\n[05]\nname=второй\n");
    Put("scales.ini", "[5]\n0=0\n1=10\n[05]\n0=0\n1=20\n[+5]\n0=9\n1=1\n");
    const ThisModule m(dir.Path());
    EXPECT_EQ(m.VarName(5), "второй");
    EXPECT_EQ(m.ScaleOf(5), std::make_pair(0.0, 20.0));
}

TEST_F(CatalogueTest, WithoutFilesEveryCodeIsItsNumber)
{
    const ThisModule m(dir.Path());
    EXPECT_EQ(m.VarName(12), "12");
    EXPECT_EQ(m.UnitName(0), "0");
    EXPECT_EQ(m.ScaleOf(1), std::make_pair(0.0, 0.0));
}

TEST(ShippedCatalogueTest, FilesBesideTheProgramNameTheSimulatorsCodes)
{
    const ThisModule m(KALIST8_PROGRAM_DIR);
    EXPECT_EQ(m.VarName(1), "CH4");
    EXPECT_EQ(m.VarName(9), "Температура");
    EXPECT_EQ(m.UnitName(5), "°C");
    EXPECT_EQ(m.UnitName(1), "% НКПР");
    EXPECT_EQ(m.ScaleOf(1), std::make_pair(0.0, 100.0));
    EXPECT_EQ(m.ScaleOf(8), std::make_pair(0.0, 0.5));
}

TEST(UserCatalogueTest, EachFileTheUserHasReplacesTheProgramsOwn)
{
    TempDir user, program;
    WriteBytes(program.File("vars.ini"), WinText("[1]\nname=CH4\n"));
    WriteBytes(program.File("units.ini"), WinText("[1]\nname=% НКПР\n"));
    WriteBytes(program.File("scales.ini"), WinText("[1]\n0=0\n1=100\n"));
    WriteBytes(user.File("vars.ini"), WinText("[1]\nname=Метан\n[40]\nname=Новая\n"));
    const ThisModule m(user.Path(), program.Path());
    EXPECT_EQ(m.VarName(1), "Метан");
    EXPECT_EQ(m.VarName(40), "Новая");
    EXPECT_EQ(m.UnitName(1), "% НКПР");
    EXPECT_EQ(m.ScaleOf(1), std::make_pair(0.0, 100.0));
}
