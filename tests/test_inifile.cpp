#include "TestUtils.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/IniFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("test.ini");
};

// As Windows writes it: Windows-1251, CRLF, names in any letter case.
const char* const kWindowsFile = "; настройки связи\n"
                                 "[COMPORT]\n"
                                 "Порт=3\n"
                                 "BaudRate = 19200 \n"
                                 "\n"
                                 "[трансфер]\n"
                                 "Задержка_записи_мсек=75\n"
                                 ";лагать=0\n"
                                 "ЛАГАТЬ=1\n"
                                 "имя=\"  в кавычках \"\n";

} // namespace

TEST_F(IniFileTest, ReadsAFileWrittenOnWindows)
{
    WriteBytes(path, WinText(kWindowsFile));
    const my::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("comport", "ПОРТ", 1), 3);
    EXPECT_EQ(ini.ReadInteger("COMPORT", "baudrate", 9600), 19200);
    EXPECT_EQ(ini.ReadInteger("ТРАНСФЕР", "задержка_записи_МСЕК", 50), 75);
    EXPECT_TRUE(ini.ReadBool("Трансфер", "лагать", false));
    EXPECT_EQ(ini.ReadString("Трансфер", "имя", ""), "  в кавычках ");
    EXPECT_EQ(ini.ReadString("Трансфер", "нет", "по умолчанию"), "по умолчанию");
    EXPECT_EQ(ini.ReadString("нет", "Порт", "x"), "x");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"COMPORT", "трансфер"}));
    EXPECT_TRUE(ini.SectionExists("Comport"));
    EXPECT_FALSE(ini.SectionExists("COM1"));
}

TEST_F(IniFileTest, WriteChangesOnlyItsLineAndKeepsTheRest)
{
    WriteBytes(path, WinText(kWindowsFile));
    my::IniFile ini(path);
    ini.WriteInteger("comport", "порт", 5);
    ini.WriteBool("ТРАНСФЕР", "Лагать", false);
    ini.WriteString("Трансфер", "новый", "значение");
    ini.WriteInteger("Новая секция", "ключ", -7);

    EXPECT_EQ(ReadBytes(path), WinText("; настройки связи\n"
                                       "[COMPORT]\n"
                                       "Порт=5\n"
                                       "BaudRate = 19200 \n"
                                       "\n"
                                       "[трансфер]\n"
                                       "Задержка_записи_мсек=75\n"
                                       ";лагать=0\n"
                                       "ЛАГАТЬ=0\n"
                                       "имя=\"  в кавычках \"\n"
                                       "новый=значение\n"
                                       "\n"
                                       "[Новая секция]\n"
                                       "ключ=-7\n"));
}

TEST_F(IniFileTest, NewKeyGoesToTheEndOfItsSectionBeforeTheNextOne)
{
    WriteBytes(path, WinText("[A]\nx=1\n\n[B]\ny=2\n"));
    my::IniFile ini(path);
    ini.WriteString("a", "z", "3");
    EXPECT_EQ(ReadBytes(path), WinText("[A]\nx=1\nz=3\n\n[B]\ny=2\n"));
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndWriteCreatesIt)
{
    my::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("MAIN", "Адрес", 1), 1);
    EXPECT_TRUE(ini.ReadSections().empty());
    ini.WriteInteger("MAIN", "Адрес", 12);
    EXPECT_EQ(ReadBytes(path), WinText("[MAIN]\nАдрес=12\n"));
}

TEST_F(IniFileTest, WritesAreSeenAtOnceByAnotherReaderAndLeaveNoTemporaryFiles)
{
    my::IniFile writer(path);
    const my::IniFile reader(path);
    for (int i = 0; i < 5; ++i) {
        writer.WriteInteger("S", "k", i);
        EXPECT_EQ(reader.ReadInteger("S", "k", -1), i);
    }
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(IniFileTest, Utf8FileWithByteOrderMarkStaysUtf8)
{
    WriteBytes(path, "\xEF\xBB\xBF[Секция]\nключ=значение\n");
    my::IniFile ini(path);
    EXPECT_EQ(ini.ReadString("секция", "КЛЮЧ", ""), "значение");
    ini.WriteString("Секция", "другой", "ё");
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[Секция]\r\nключ=значение\r\nдругой=ё\r\n");
}

TEST_F(IniFileTest, IntegersAreReadAsWindowsReadsThem)
{
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"12", 12},          {" 12 ", 12},      {"-5", -5},          {"+8", 8},
        {"0x10", 16},        {"$1F", 31},       {"4294967295", -1},  {"2147483647", 2147483647},
        {"abc", 99},         {"", 99},          {"12abc", 99},       {"1 2", 99},
        {"4294967296", 99},  {"0x", 99},        {"-", 99},           {"1.5", 99},
    };
    my::IniFile ini(path);
    for (const auto& c : cases) {
        ini.WriteString("N", "v", c.text);
        EXPECT_EQ(ini.ReadInteger("N", "v", 99), c.expected) << '"' << c.text << '"';
    }
    EXPECT_EQ(ini.ReadInteger("N", "missing", 99), 99);
}

TEST_F(IniFileTest, OnlyTheFirstSectionOfANameCounts)
{
    WriteBytes(path, WinText("[S]\na=1\n[s]\na=2\nb=3\n"));
    const my::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "a", 0), 1);
    EXPECT_EQ(ini.ReadInteger("S", "b", 0), 0);
    EXPECT_EQ(ini.ReadSections().size(), 1u);
}

TEST_F(IniFileTest, WriteFailureThrowsWithTheFileName)
{
    my::IniFile ini(dir.File("no/such/dir/x.ini"));
    try {
        ini.WriteInteger("S", "k", 1);
        FAIL() << "no exception";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(e->TypeName(), "MyWindowsException");
        EXPECT_NE(e->Message().find("x.ini"), std::string::npos) << e->Message();
    }
}

// A file the user cannot read (mode 000, EACCES) is not an empty file: a
// write fails with the system's text and changes nothing. Root reads any
// file, so the case runs as an ordinary user.
namespace {

void WriteToUnreadableFileLeavesItAlone()
{
    TempDir dir;
    const std::string path = dir.File("config.ini");
    const std::string original = WinText("; настройки\n[MAIN]\nАдрес=5\n[Трансфер]\nприоритет=2\n");
    WriteBytes(path, original);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    my::IniFile ini(path);
    try {
        ini.WriteInteger("MAIN", "Адрес", 1);
        ADD_FAILURE() << "no exception";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(e->TypeName(), "MyWindowsException");
        EXPECT_EQ(e->Message(), "WIN:13:" + WinErrorText(EACCES) + " Unable to read " + path);
    }
    EXPECT_EQ(ini.ReadInteger("MAIN", "Адрес", 7), 7);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(ReadBytes(path), original);
}

} // namespace

TEST(IniFileUnreadableTest, WriteFailsAndLeavesTheFileAsItIs)
{
    if (geteuid() != 0) {
        WriteToUnreadableFileLeavesItAlone();
        return;
    }
    std::string out;
    EXPECT_TRUE(RunSelfInLocale("C.UTF-8", "IniFileUnreadableChild.*", {}, &out,
                                {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"}))
        << out;
}

TEST(IniFileUnreadableChild, DISABLED_AsAnOrdinaryUser)
{
    ASSERT_NE(geteuid(), 0u);
    WriteToUnreadableFileLeavesItAlone();
}
