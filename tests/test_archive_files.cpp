#include "ArchiveBlocks.h"
#include "TestUtils.h"

#include "ArchiveFiles.h"
#include "Excpt/MyExeption.h"
#include "DevSys/Catalogue.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace archive_blocks;

const char kMixedText[] = "1\t25.12.2007\t14:30:00\tCH4=12,500\tТемпература=-0,750\t200=999999,000\tCH4=0,123\t\n"
                          "255\t01.02.2003\t04:05:00\t\n"
                          "0\t1A.12.2007\t1A:00:00\tТемпература=12,340\t\n"
                          "199\t31.01.2099\t23:59:00\t2=7,000\t\n";

class ArchiveFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(catalogueDir.File("vars.ini"), WinText(kVarsIni));
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

TEST_F(ArchiveFilesTest, UnwritableDirectoryIsNamedInTheError)
{
    const std::string block = MixedBlock();
    const ThisModule names(catalogueDir.Path());
    const std::string missing = dir.Path() + "missing/";
    try {
        SaveArchiveFiles(missing, Begin(block), End(block), names, ",");
        ADD_FAILURE() << "no error";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(e->Message(), "Архив не сохранён: не удалось записать \"" + missing + "archive.bin\"!");
    }
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
// separator of the user's locale, each locale in a process of its own.
TEST(ArchiveRecordLineTest, DefaultsAreTheShippedCatalogueAndTheSeparatorOfTheLocale)
{
    const struct {
        const char* locale;
        const char* line;
    } cases[] = {
        {"ru_RU.UTF-8", "0\t1A.12.2007\t1A:00:00\tТемпература=12,340\t"},
        {"C", "0\t1A.12.2007\t1A:00:00\tТемпература=12.340\t"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(RunSelfInLocale(c.locale, "ArchiveDefaultsChild.*", {{"KALIST8_EXPECTED_LINE", c.line}}, &out))
            << c.locale << "\n" << out;
    }
}

// Runs only as the child of the test above.
TEST(ArchiveDefaultsChild, DISABLED_LineAndFilesInThisLocale)
{
    ASSERT_TRUE(std::getenv("KALIST8_EXPECTED_LINE"));
    const std::string expected = std::getenv("KALIST8_EXPECTED_LINE");
    std::string line;
    ASSERT_TRUE(ArchiveRecordLine(kBrokenDigits.data(), &line));
    EXPECT_EQ(line, expected);

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
