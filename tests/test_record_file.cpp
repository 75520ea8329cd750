#include "TestUtils.h"

#include "Records/RecordFile.h"

#include <gtest/gtest.h>

namespace {

const std::vector<RecordedChanal> kChanals = {{0, "CH4", "%"}, {3, "Температура", "°C"}, {5, "O2; сух.", "%"}};

QDateTime At(int h, int m, int s) { return QDateTime(QDate(2026, 3, 7), QTime(h, m, s)); }

const char kHeader[] = "Дата;Время;Канал 0: CH4, %;Канал 3: Температура, °C;Канал 5: O2, сух., %\n";

class RecordFileTest : public ::testing::Test {
protected:
    std::string Text() const { return ReadBytes(dir.File("r.csv")); }

    TempDir dir;
    RecordFile file{dir.File("r.csv"), kChanals, ","};
};

} // namespace

TEST_F(RecordFileTest, RoundsBecomeRowsAsSoonAsTheyAreComplete)
{
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(Text(), WinText(kHeader));

    file.Add(0, 12.5, At(9, 5, 4));
    file.Add(3, -0.75, At(9, 5, 5));
    // Not yet complete: nothing of the round on disk.
    EXPECT_EQ(Text(), WinText(kHeader));
    file.Add(5, 20.9, At(9, 5, 6));
    // Written (and flushed) with the time of the round's first reading.
    EXPECT_EQ(Text(), WinText(std::string(kHeader) + "07.03.2026;09:05:04;12,500;-0,750;20,900\n"));
}

TEST_F(RecordFileTest, InvalidOrMissingReadingLeavesItsFieldEmpty)
{
    file.Add(0, 1, At(10, 0, 0));
    file.Add(3, 999999, At(10, 0, 1)); // the instrument's invalid value
    file.Add(5, -999999, At(10, 0, 2));
    // Channel 3 does not answer in the next round; channel 0's third reading
    // closes it.
    file.Add(0, 2, At(10, 0, 3));
    file.Add(5, 3, At(10, 0, 4));
    file.Add(0, 4, At(10, 0, 5));
    // Channels outside the list are not recorded.
    file.Add(7, 5, At(10, 0, 6));
    EXPECT_EQ(Text(), WinText(std::string(kHeader) + "07.03.2026;10:00:00;1,000;;\n"
                                                      "07.03.2026;10:00:03;2,000;;3,000\n"));
}

TEST(RecordFileOpenTest, UncreatableFileIsNotOpen)
{
    TempDir dir;
    RecordFile file(dir.File("missing/r.csv"), kChanals, ".");
    EXPECT_FALSE(file.IsOpen());
    file.Add(0, 1, At(1, 2, 3));
}
