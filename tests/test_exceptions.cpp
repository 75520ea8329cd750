#include "Excpt/MyExeption.h"
#include "TestUtils.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <stdexcept>

namespace {

template <class Fn>
PMyExcpt Convert(Fn throwIt)
{
    try {
        throwIt();
    } catch (...) {
        return CurrentExceptionToPMyExcpt(FileLine(90, "C:\\src\\kalist8.cpp"));
    }
    return PMyExcpt();
}

} // namespace

TEST(FileLineTest, KeepsOnlyTheLastPathComponent)
{
    const struct {
        const char* path;
        const char* file;
    } cases[] = {
        {"C:\\Projects\\kalist8\\Source\\ComPort\\CommUtils.cpp", "CommUtils.cpp"},
        {"/work/main/Source/ComPort/CommUtils.cpp", "CommUtils.cpp"},
        {"C:CommUtils.cpp", "CommUtils.cpp"},
        {"CommUtils.cpp", "CommUtils.cpp"},
        {"Source/ComPort\\mixed/RS232Modbus.cpp", "RS232Modbus.cpp"},
    };
    for (const auto& c : cases) {
        const FileLine fl(12, c.path);
        EXPECT_EQ(fl.file, c.file) << c.path;
        EXPECT_EQ(fl.line, 12);
    }
}

TEST(ConversionTest, PMyExcptComesBackAsTheSameObject)
{
    PMyExcpt thrown(new MyException(FileLine(7, "a/b/thrower.cpp"), "boom"));
    const PMyExcpt got = Convert([&] { throw thrown; });
    EXPECT_EQ(got.get(), thrown.get());
    EXPECT_EQ(got->Where().file, "thrower.cpp");
    EXPECT_EQ(got->Where().line, 7);
}

TEST(ConversionTest, EachKindOfThrownThing)
{
    struct Case {
        const char* what;
        PMyExcpt got;
        const char* type;
        std::string message;
    };
    const Case cases[] = {
        {"std exception", Convert([] { throw std::runtime_error("bad thing"); }), "MyStdException",
         "std::runtime_error:bad thing"},
        {"QString", Convert([] { throw QString::fromUtf8("текст"); }), "MyException", "текст"},
        {"QByteArray", Convert([] { throw QByteArray("bytes"); }), "MyException", "bytes"},
        {"std::string", Convert([] { throw std::string("строка"); }), "MyException", "строка"},
        {"int", Convert([] { throw 42; }), "MyUnknownException", "Unknown exception"},
        {"empty PMyExcpt", Convert([] { throw PMyExcpt(); }), "MyUnknownException", "Unknown exception"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.got);
        EXPECT_EQ(c.got->TypeName(), c.type);
        EXPECT_EQ(c.got->Message(), c.message);
        EXPECT_EQ(c.got->Where().file, "kalist8.cpp");
        EXPECT_EQ(c.got->Where().line, 90);
        EXPECT_FALSE(c.got->Nested());
    }
}

TEST(ConversionTest, DerivedStdExceptionKeepsItsDynamicTypeName)
{
    const PMyExcpt got = Convert([] { throw std::out_of_range("index"); });
    EXPECT_EQ(got->Message(), "std::out_of_range:index");
}

TEST(ExceptionFamilyTest, EveryClassNamesItself)
{
    const FileLine at(1, "x.cpp");
    const struct {
        PMyExcpt e;
        const char* name;
    } cases[] = {
        {PMyExcpt(new MyException(at, "")), "MyException"},
        {PMyExcpt(new MyExternalException(at, "")), "MyExternalException"},
        {PMyExcpt(new MyWindowsException(5, at, "")), "MyWindowsException"},
        {PMyExcpt(new MyStdException(at, "")), "MyStdException"},
        {PMyExcpt(new MyAccessViolationException(at, "")), "MyAccessViolationException"},
        {PMyExcpt(new MyVCLException(at, "")), "MyVCLException"},
        {PMyExcpt(new MyUnknownException(at, "")), "MyUnknownException"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.e->TypeName(), c.name);
        if (c.e->TypeName() != "MyException") {
            EXPECT_NE(dynamic_cast<MyExternalException*>(c.e.get()), nullptr) << c.name;
        }
    }
}

TEST(ChainTextTest, EntriesOutermostFirstEndingInOneBlank)
{
    PMyExcpt inner(new MyException(FileLine(200, "C:\\x\\CommUtils.cpp"), "::ReadFile"));
    PMyExcpt outer(new MyException(FileLine(90, "kalist8.cpp"), "Сбой при открытии порта!", inner));

    EXPECT_EQ(FormatExceptionEntry(*inner), "CommUtils.cpp 200 ::ReadFile");
    EXPECT_EQ(FormatExceptionChain(inner.get()), "CommUtils.cpp 200 ::ReadFile ");
    EXPECT_EQ(FormatExceptionChain(outer.get()),
              "kalist8.cpp 90 Сбой при открытии порта!\nCommUtils.cpp 200 ::ReadFile ");
    EXPECT_EQ(FormatExceptionChain(nullptr), "");

    EXPECT_EQ(InnermostException(outer.get()), inner.get());
    EXPECT_EQ(InnermostException(inner.get()), inner.get());
}

// The code given or, without one, errno at construction; the message is
// "WIN:<code>:<system text> <text>", the system text empty for an unknown
// code.
TEST(WindowsExceptionTest, MessageCarriesCodeAndSystemText)
{
    const struct {
        int given; // 0: none given, errno holds errnoCode
        int errnoCode;
        const char* text;
        int code;
        const char* message;
    } cases[] = {
        {EACCES, 0, "::SetCommState", EACCES, "WIN:13:Permission denied ::SetCommState"},
        {0, ENOENT, "COM-порт \"COM2\" занят!", ENOENT, "WIN:2:No such file or directory COM-порт \"COM2\" занят!"},
        {98765, 0, "msg", 98765, "WIN:98765: msg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        errno = c.errnoCode;
        const MyWindowsException e = c.given ? MyWindowsException(c.given, FileLine(3, "CommUtils.cpp"), c.text)
                                             : MyWindowsException(FileLine(3, "CommUtils.cpp"), c.text);
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.Message(), c.message);
    }
}

TEST(WindowsExceptionDeathTest, ZeroCodeIsAContractViolation)
{
    EXPECT_DEATH(MyWindowsException(0, FileLine(1, "x.cpp"), "m"),
                 "Попытка возбудить исключение Windows при нулевом коде ошибки!");
}

TEST(WinErrorTextTest, KnownUnknownAndZero)
{
    EXPECT_EQ(WinErrorText(0), "");
    EXPECT_EQ(WinErrorText(98765), "");
    EXPECT_EQ(WinErrorText(-3), "");
    const std::string eio = WinErrorText(EIO);
    EXPECT_EQ(eio, "Input/output error");
    for (int code = 1; code < 134; ++code)
        for (char c : WinErrorText(code))
            EXPECT_FALSE(c == '\r' || c == '\n' || c == '\t') << code;
}

// The system's texts come in the language of the user's messages; unknown
// codes stay empty there too.
TEST(WinErrorTextTest, InTheLanguageOfTheUsersMessages)
{
    const struct {
        const char* locale;
        const char* enoent;
    } locales[] = {{"ru_RU.UTF-8", "Нет такого файла или каталога"}, {"C", "No such file or directory"}};
    for (const auto& l : locales) {
        std::string out;
        EXPECT_TRUE(RunSelfInLocale(l.locale, "WinErrorTextChild.*", {{"KALIST8_EXPECTED_ENOENT", l.enoent}}, &out))
            << l.locale << "\n" << out;
    }
}

TEST(WinErrorTextChild, DISABLED_TextsInThisLocale)
{
    const char* expected = std::getenv("KALIST8_EXPECTED_ENOENT");
    ASSERT_TRUE(expected);
    EXPECT_EQ(WinErrorText(ENOENT), expected);
    EXPECT_EQ(MyWindowsException(ENOENT, FileLine(1, "x.cpp"), "m").Message(),
              std::string("WIN:2:") + expected + " m");
    EXPECT_EQ(WinErrorText(98765), "");
}

TEST(ShowLastWinErrorTest, NothingWhenErrnoIsZero)
{
    static int shown;
    shown = 0;
    SetLastWinErrorBox([](const std::string&, const std::string&) { ++shown; });
    errno = 0;
    ShowLastWinError("prefix");
    EXPECT_EQ(shown, 0);

    static std::string text, caption;
    SetLastWinErrorBox([](const std::string& t, const std::string& c) {
        ++shown;
        text = t;
        caption = c;
    });
    errno = ENOSPC;
    ShowLastWinError("Ошибка при создании каталога.\n/x\n");
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(text, "Ошибка при создании каталога.\n/x\nNo space left on device");
    EXPECT_EQ(caption, "Последняя WIN-ошибка.");
    SetLastWinErrorBox(nullptr);
}
