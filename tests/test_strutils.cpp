#include "VCLUtils/MyStrUtils.h"

#include "TestUtils.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// The user's locale as a Qt program sets it; a Russian one takes "," as the
// decimal point in strtod and printf.
class RussianNumbers {
public:
    RussianNumbers() : ok_(std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr) {}
    ~RussianNumbers() { std::setlocale(LC_NUMERIC, "C"); }
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

struct DoubleCase {
    const char* text;
    double value;
    bool ok;
};

const DoubleCase kDoubleCases[] = {
    {"", 0.0, false},     {"1.5", 1.5, true},    {"1,5", 1.5, true},     {"-0,25", -0.25, true},
    {"1e3", 1000.0, true}, {" 2", 2.0, true},    {"2 ", 0, false},       {"0,5 ", 0, false},
    {"1,5,2", 0, false},  {"1.5.2", 0, false},   {"5 мг", 0, false},     {"abc", 0, false},
    {"inf", 0, false},    {"nan", 0, false},     {"0x10", 0, false},     {"1e999", 0, false},
    {"-", 0, false},      {",", 0, false},       {"+3", 3.0, true},      {"0,000001", 0.000001, true},
};

void CheckDoubles()
{
    for (const auto& c : kDoubleCases) {
        const auto r = ParseDouble(c.text);
        EXPECT_EQ(r.second, c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_DOUBLE_EQ(r.first, c.value) << '"' << c.text << '"';
        }
    }
}

} // namespace

TEST(ParseDoubleTest, TakesCommaOrPoint) { CheckDoubles(); }

TEST(ParseDoubleTest, SameUnderARussianLocale)
{
    RussianNumbers ru;
    if (!ru.Ok())
        GTEST_SKIP() << "ru_RU.UTF-8 is not generated";
    CheckDoubles();
}

TEST(ParseIntTest, WholeTextOnlyWith32BitLimits)
{
    const struct {
        const char* text;
        int32_t value;
        bool ok;
    } cases[] = {
        {"", 0, false},
        {" 70", 70, true},
        {"70 ", 70, false},
        {"+5", 5, true},
        {"-12", -12, true},
        {"0x10", 0, false},
        {"abc", 0, false},
        {" 12 x", 12, false},
        {"99999999999", INT32_MAX, true},
        {"-99999999999", INT32_MIN, true},
        {"2147483647", INT32_MAX, true},
        {"2147483648", INT32_MAX, true},
        {"1,5", 1, false},
    };
    for (const auto& c : cases) {
        const auto r = ParseInt(c.text, 10);
        EXPECT_EQ(r.second, c.ok) << '"' << c.text << '"';
        EXPECT_EQ(r.first, c.value) << '"' << c.text << '"';
    }
}

TEST(ParseIntTest, ANulByteInsideTheTextIsNoNumber)
{
    EXPECT_FALSE(ParseInt(std::string("12\0x", 4), 10).second);
    EXPECT_FALSE(ParseInt(std::string("12\0", 3), 10).second);
    EXPECT_FALSE(ParseDouble(std::string("1,5\0x", 5)).second);
}

TEST(FormatTest, AlwaysUsesThePointWhateverTheLocale)
{
    RussianNumbers ru;
    if (!ru.Ok())
        GTEST_SKIP() << "ru_RU.UTF-8 is not generated";
    EXPECT_EQ(my::Format("%g-%g", 0.0, 0.5), "0-0.5");
    EXPECT_EQ(my::Format("%.3f", 1.25), "1.250");
}

TEST(InputErrorTextTest, NamesTheFieldAndQuotesTheEntry)
{
    EXPECT_EQ(InputErrorText("Задержка отправки, мсек", ""),
              "Отсутствуют данные в поле \"Задержка отправки, мсек\"!");
    EXPECT_EQ(InputErrorText("Таймаут ответа, мсек", "99"),
              "Не корректные данные \"99\" в поле \"Таймаут ответа, мсек\"!");
    EXPECT_STREQ(InputErrorCaption, "Некорректный ввод!");
}

TEST(HexDumpTest, RowsOfSixteenWithOffsets)
{
    std::vector<uint8_t> bytes(17);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 0x11);
    EXPECT_EQ(HexDump(bytes.data(), bytes.data() + bytes.size(), ">"),
              ">0000\t00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n>0010\t10 ");
    EXPECT_EQ(HexDump(bytes.data(), bytes.data() + 16, ""),
              "0000\t00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ");
    EXPECT_EQ(HexDump(bytes.data(), bytes.data(), "x"), "");

    std::vector<uint8_t> big(0x10010, 0xAB);
    const std::string dump = HexDump(big.data(), big.data() + big.size(), "");
    EXPECT_NE(dump.find("\n10000\tAB "), std::string::npos);
}

TEST(DateNamesTest, MonthDirectoryDatePathAndTimeStem)
{
    EXPECT_EQ(MonthDirName(13), "13");
    EXPECT_EQ(MonthDirName(0), "00");

    const QDateTime when(QDate(2010, 4, 6), QTime(14, 3, 9, 500));
    EXPECT_EQ(TimeStem(when), "14_3_9");
    EXPECT_EQ(TimeStem(QDateTime(QDate(2010, 1, 1), QTime(9, 5, 7))), "9_5_7");
}

// The month's folder is named in the user's language, capitalised as
// Windows names it; each locale runs in a process of its own.
TEST(DateNamesTest, MonthFollowsTheLocaleOfTheProcess)
{
    const struct {
        const char* locale;
        const char* december;
        const char* path; // of 6 April 2010
    } cases[] = {
        {"ru_RU.UTF-8", "12_Декабрь", "2010/04_Апрель/6"},
        {"C", "12_December", "2010/04_April/6"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(RunSelfInLocale(c.locale, "DateNamesChild.*",
                                    {{"KALIST8_EXPECTED_MONTH", c.december}, {"KALIST8_EXPECTED_PATH", c.path}}, &out))
            << c.locale << "\n" << out;
    }
}

// Runs only as the child of the test above.
TEST(DateNamesChild, DISABLED_MonthInThisLocale)
{
    ASSERT_TRUE(std::getenv("KALIST8_EXPECTED_MONTH") && std::getenv("KALIST8_EXPECTED_PATH"));
    EXPECT_EQ(MonthDirName(12), std::getenv("KALIST8_EXPECTED_MONTH"));
    EXPECT_EQ(DatePath(QDateTime(QDate(2010, 4, 6), QTime(14, 3, 9))), std::getenv("KALIST8_EXPECTED_PATH"));
}
