#include "ArchiveBlocks.h"
#include "TestUtils.h"

#include "ArchiveViewer/ArchiveTable.h"
#include "DevSys/Catalogue.h"

#include <gtest/gtest.h>

using namespace archive_blocks;

namespace {

class ArchiveTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(dir.File("vars.ini"), WinText(kVarsIni));
        WriteBytes(dir.File("units.ini"), WinText("[3]\nname=%об\n"));
        WriteBytes(dir.File("scales.ini"), WinText("[5]\n0=0\n1=2,5\n"));
    }

    TempDir dir;
};

// Only the slots some valid record uses; several quantities in one slot.
const char kMixedCsv[] = "Дата;Время;Слот 1: CH4 / 2;Слот 2: Температура;Слот 4: 200;Слот 6: CH4;Слот 8: Температура\n"
                         "25.12.2007;14:30:00;12,500;-0,750;;0,123;\n"
                         "01.02.2003;04:05:00;;;;;\n"
                         "1A.12.2007;1A:00:00;;;;;12,340\n"
                         "31.01.2099;23:59:00;7,000;;;;\n";

} // namespace

TEST_F(ArchiveTableTest, ValidRecordsAndUsedSlotsExportedAsRecordingsAre)
{
    const ThisModule names(dir.Path());
    const ArchiveTable table(MixedBlock(), names, ModbusChanals());
    ASSERT_EQ(table.Records().size(), 4u);
    EXPECT_EQ(table.Records()[3].number, 199u);
    EXPECT_EQ(table.Slots(), (std::vector<int>{0, 1, 3, 5, 7}));
    EXPECT_EQ(table.SlotHeader(0), "CH4 / 2");
    EXPECT_EQ(table.CsvText(","), WinText(kMixedCsv));
}

TEST_F(ArchiveTableTest, UnitAndScaleComeFromTheChannelMeasuringTheQuantity)
{
    const ThisModule names(dir.Path());
    // Channel 4 measures quantity 1 in unit 3 on scale 5; nothing measures 9.
    const ArchiveTable table(MixedBlock(), names, ModbusChanals{{4, 1, 5, 3}});
    EXPECT_EQ(table.SlotHeader(0), "CH4\n%об\n0-2.5 / 2");
    EXPECT_EQ(table.SlotHeader(1), "Температура");
    EXPECT_EQ(table.SlotCsvTitle(5), "Слот 6: CH4, %об");
}

TEST(ArchiveTableTimeTest, BrokenDateOrTimeHasNoTime)
{
    ArchiveRecord r{};
    r.day = 0x25, r.month = 0x12, r.year = 0x07, r.hour = 0x14, r.minute = 0x30;
    EXPECT_EQ(ArchiveTable::Time(r), QDateTime(QDate(2007, 12, 25), QTime(14, 30)));
    for (uint8_t ArchiveRecord::*field : {&ArchiveRecord::day, &ArchiveRecord::year, &ArchiveRecord::hour}) {
        ArchiveRecord broken = r;
        broken.*field = 0x1A;
        EXPECT_FALSE(ArchiveTable::Time(broken).isValid());
    }
    r.month = 0x13;
    EXPECT_FALSE(ArchiveTable::Time(r).isValid());
}

TEST(ReadArchiveFileTest, OnlyAFileOfTheArchivesSizeIsRead)
{
    TempDir dir;
    const std::string block = MixedBlock();
    WriteBytes(dir.File("a.bin"), block);
    WriteBytes(dir.File("short.bin"), block.substr(1));
    std::string read, error;
    ASSERT_TRUE(ReadArchiveFile(dir.File("a.bin"), &read, &error));
    EXPECT_EQ(read, block);

    read = "kept";
    EXPECT_FALSE(ReadArchiveFile(dir.File("short.bin"), &read, &error));
    EXPECT_EQ(read, "kept");
    EXPECT_NE(error.find("9799 байт"), std::string::npos) << error;
    EXPECT_FALSE(ReadArchiveFile(dir.File("missing.bin"), &read, &error));
    EXPECT_EQ(error, "Не удалось прочитать файл\n" + dir.File("missing.bin"));
    EXPECT_EQ(read, "kept");
}
