#include "TestUtils.h"

#include "ArchiveFiles.h"
#include "DevSys/Catalogue.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr size_t kBlockSize = 9800;
typedef std::array<uint8_t, 49> Record;
typedef std::array<uint8_t, 4> Bcd;

const Bcd kNoValue = {0xFF, 0xFF, 0xFF, 0xFF};

// Written out here rather than borrowed from the link code, so that the
// fixture does not depend on what it checks.
uint16_t Crc16Modbus(const uint8_t* b, const uint8_t* e)
{
    uint16_t crc = 0xFFFF;
    for (; b != e; ++b) {
        crc ^= *b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// date: day, month, year, hour, minute as they lie in the record.
Record MakeRecord(uint8_t number, std::array<uint8_t, 5> date, std::array<uint8_t, 8> codes,
                  std::array<Bcd, 8> values, uint8_t marker = 0xA0)
{
    Record r{};
    r[0] = marker;
    r[1] = number;
    std::copy(codes.begin(), codes.end(), r.begin() + 2);
    std::copy(date.begin(), date.end(), r.begin() + 10);
    for (size_t k = 0; k < 8; ++k)
        std::copy(values[k].begin(), values[k].end(), r.begin() + 15 + 4 * k);
    const uint16_t crc = Crc16Modbus(r.data(), r.data() + 47);
    r[47] = static_cast<uint8_t>(crc & 0xFF);
    r[48] = static_cast<uint8_t>(crc >> 8);
    return r;
}

// An archive area the instrument has not written yet.
std::string EmptyBlock() { return std::string(kBlockSize, '\xFF'); }

void Put(std::string* block, size_t index, const Record& r)
{
    block->replace(index * r.size(), r.size(), reinterpret_cast<const char*>(r.data()), r.size());
}

const uint8_t* Begin(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
const uint8_t* End(const std::string& s) { return Begin(s) + s.size(); }

// Codes 1 and 9 named (one name outside ASCII), 200 unknown.
const Record kFull = MakeRecord(1, {0x25, 0x12, 0x07, 0x14, 0x30}, {1, 9, 0x00, 200, 0xFF, 1, 0x00, 0x00},
                                {Bcd{0x04, 0x12, 0x50, 0x00}, Bcd{0x86, 0x75, 0x00, 0x00},
                                 Bcd{0x04, 0x11, 0x11, 0x11}, Bcd{0x00, 0x1A, 0x00, 0x00},
                                 Bcd{0x04, 0x12, 0x50, 0x00}, Bcd{0x07, 0x12, 0x34, 0x56}, kNoValue, kNoValue});
const Record kNoSlots = MakeRecord(255, {0x01, 0x02, 0x03, 0x04, 0x05}, {0x00, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00},
                                   {Bcd{0x04, 0x12, 0x50, 0x00}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                    kNoValue, kNoValue});
const Record kBrokenDigits = MakeRecord(0, {0x1A, 0x12, 0x07, 0x1A, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 9},
                                        {kNoValue, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                         Bcd{0x02, 0x00, 0x12, 0x34}});
const Record kLast = MakeRecord(199, {0x31, 0x01, 0x99, 0x23, 0x59}, {2, 0, 0, 0, 0, 0, 0, 0},
                                {Bcd{0x00, 0x00, 0x00, 0x07}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                                 kNoValue, kNoValue});

Record WithOneBitFlipped(Record r)
{
    r[20] ^= 0x04;
    return r;
}

// Every kind of record: valid ones between invalid ones, and the last
// record of the block valid.
std::string MixedBlock()
{
    std::string block = EmptyBlock();
    Put(&block, 0, kFull);
    Put(&block, 1, WithOneBitFlipped(kFull));
    Put(&block, 2, kNoSlots);
    Put(&block, 3, MakeRecord(5, {0x25, 0x12, 0x07, 0x14, 0x30}, {1, 0, 0, 0, 0, 0, 0, 0},
                              {Bcd{0x04, 0x12, 0x50, 0x00}, kNoValue, kNoValue, kNoValue, kNoValue, kNoValue,
                               kNoValue, kNoValue},
                              0xA1));
    Put(&block, 4, Record{}); // zeros: marker and CRC both wrong
    Put(&block, 7, kBrokenDigits);
    Put(&block, 199, kLast);
    return block;
}

const char kMixedText[] = "1\t25.12.2007\t14:30:00\tCH4=12,500\tТемпература=-0,750\t200=999999,000\tCH4=0,123\t\n"
                          "255\t01.02.2003\t04:05:00\t\n"
                          "0\t1A.12.2007\t1A:00:00\tТемпература=12,340\t\n"
                          "199\t31.01.2099\t23:59:00\t2=7,000\t\n";

class ArchiveFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(catalogueDir.File("vars.ini"), WinText("[1]\nname=CH4\n[9]\nname=Температура\n"));
    }

    std::string Save(const std::string& block)
    {
        const ThisModule names(catalogueDir.Path());
        return SaveArchiveFiles(dir.Path(), Begin(block), End(block), names, ",");
    }

    TempDir catalogueDir;
    TempDir dir;
};

} // namespace

TEST_F(ArchiveFilesTest, BinHoldsTheBlockAndTextOneLinePerValidRecord)
{
    const std::string block = MixedBlock();
    EXPECT_EQ(Save(block), dir.File("archive.txt"));
    EXPECT_EQ(ReadBytes(dir.File("archive.bin")), block);
    EXPECT_EQ(ReadBytes(dir.File("archive.txt")), WinText(kMixedText));
}

TEST_F(ArchiveFilesTest, BlockWithoutValidRecordGivesEmptyText)
{
    std::string block = EmptyBlock();
    Put(&block, 0, WithOneBitFlipped(kFull));
    Save(block);
    EXPECT_EQ(ReadBytes(dir.File("archive.bin")), block);
    ASSERT_TRUE(FileExists(dir.File("archive.txt")));
    EXPECT_EQ(ReadBytes(dir.File("archive.txt")), "");
}

TEST_F(ArchiveFilesTest, SecondRunLeavesNothingOfTheFirst)
{
    Save(MixedBlock());
    std::string block(kBlockSize, '\0');
    Put(&block, 5, kNoSlots);
    Save(block);
    EXPECT_EQ(ReadBytes(dir.File("archive.bin")), block);
    EXPECT_EQ(ReadBytes(dir.File("archive.txt")), WinText("255\t01.02.2003\t04:05:00\t\n"));
}

TEST_F(ArchiveFilesTest, UnwritableDirectoryIsSkippedSilently)
{
    const std::string block = MixedBlock();
    const ThisModule names(catalogueDir.Path());
    const std::string missing = dir.Path() + "missing/";
    EXPECT_EQ(SaveArchiveFiles(missing, Begin(block), End(block), names, ","), missing + "archive.txt");
    EXPECT_FALSE(FileExists(missing + "archive.bin"));
    EXPECT_FALSE(FileExists(missing + "archive.txt"));
}

TEST(ArchiveRecordLineTest, InvalidRecordLeavesTheLineAlone)
{
    const ThisModule names("/nonexistent/");
    for (const Record& r : {WithOneBitFlipped(kFull), Record{}}) {
        std::string line = "before";
        EXPECT_FALSE(ArchiveRecordLine(r.data(), names, ".", &line));
        EXPECT_EQ(line, "before");
    }
    std::string line;
    ASSERT_TRUE(ArchiveRecordLine(kLast.data(), names, ".", &line));
    EXPECT_EQ(line, "199\t31.01.2099\t23:59:00\t2=7.000\t");
}

// The program's own version: the catalogue beside the executable and the
// separator of the user's locale.
TEST(ArchiveRecordLineTest, DefaultsAreTheShippedCatalogueAndTheSystemSeparator)
{
    const std::string sep = QLocale::system().decimalPoint().toStdString();
    std::string line;
    ASSERT_TRUE(ArchiveRecordLine(kBrokenDigits.data(), &line));
    EXPECT_EQ(line, "0\t1A.12.2007\t1A:00:00\tТемпература=12" + sep + "340\t");

    TempDir dir;
    std::string block = EmptyBlock();
    Put(&block, 0, kBrokenDigits);
    EXPECT_EQ(SaveArchiveFiles(dir.Path(), Begin(block), End(block)), dir.File("archive.txt"));
    EXPECT_EQ(ReadBytes(dir.File("archive.txt")), WinText(line + "\n"));
}

TEST(ArchiveCopyTest, EachDownloadKeepsAFileOfItsOwn)
{
    TempDir dir;
    const std::string first = MixedBlock();
    const std::string second = EmptyBlock();
    const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 4));

    const std::string a = SaveArchiveCopy(dir.Path(), 12, when, Begin(first), End(first));
    EXPECT_EQ(a, dir.File("Archives/12_2026-03-07_09-05-04.bin"));
    // The same second again: a name of its own rather than the first file.
    const std::string b = SaveArchiveCopy(dir.Path(), 12, when, Begin(second), End(second));
    EXPECT_EQ(b, dir.File("Archives/12_2026-03-07_09-05-04_2.bin"));
    EXPECT_EQ(ReadBytes(a), first);
    EXPECT_EQ(ReadBytes(b), second);
}

TEST(ArchiveCopyTest, UnwritableFolderGivesNoPath)
{
    TempDir dir;
    WriteBytes(dir.File("Archives"), "a file where the folder would go");
    const std::string block = EmptyBlock();
    EXPECT_EQ(SaveArchiveCopy(dir.Path(), 1, QDateTime::currentDateTime(), Begin(block), End(block)), "");
}
