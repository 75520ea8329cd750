#include "Excpt/FatalError.h"

#include "TestUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

PMyExcpt Chain()
{
    PMyExcpt inner(new MyException(FileLine(77, "/src/ComPort/CommUtils.cpp"), "порт закрыт"));
    return PMyExcpt(new MyException(FileLine(12, "/src/DevSys/task_.cpp"), "обмен не удался", inner));
}

// Shows the box's arguments on standard error, where the death test can
// see them.
void PrintingBox(const std::string& text, const std::string& caption, const std::string& ownerTitle)
{
    std::fprintf(stderr, "caption=[%s] owner=[%s] text=[%s]\n", caption.c_str(), ownerTitle.c_str(),
                 text.c_str());
}

} // namespace

TEST(FatalErrorTest, TextNamesThePlaceAndTheWholeChain)
{
    EXPECT_EQ(FatalExceptionText("ModuleImpl::WndProc", Chain()),
              "Необработанное исключение в ModuleImpl::WndProc!\n"
              "task_.cpp 12 обмен не удался\nCommUtils.cpp 77 порт закрыт ");
}

TEST(FatalErrorDeathTest, WithoutABoxTheReportGoesToStandardError)
{
    ThreadsafeDeathTests style;
    EXPECT_EXIT(ReportFatalException("ModuleImpl::WndProc", Chain()), ::testing::ExitedWithCode(1),
                "Необработанное исключение в ModuleImpl::WndProc!\ntask_.cpp 12 обмен не удался\n"
                "CommUtils.cpp 77 порт закрыт");
}

TEST(FatalErrorDeathTest, TheInstalledBoxGetsTextCaptionAndOwnerTitle)
{
    ThreadsafeDeathTests style;
    EXPECT_EXIT(
        {
            SetFatalErrorBox(&PrintingBox);
            ReportFatalException("ModuleImpl::WndProc", Chain());
        },
        ::testing::ExitedWithCode(1),
        "caption=\\[ModuleImpl::WndProc\\] owner=\\[Необработанное исключение\\] "
        "text=\\[Необработанное исключение в ModuleImpl::WndProc!\ntask_.cpp 12");
}

// The child of a threadsafe death test runs the test body from its start;
// the file is named after the parent so that both sides agree on it.
std::string OutputFileOf(pid_t parent)
{
    return ::testing::TempDir() + "kalist8_fatal_stdout_" + std::to_string(parent) + ".txt";
}

TEST(FatalErrorDeathTest, BufferedOutputIsWrittenBeforeTheEnd)
{
    ThreadsafeDeathTests style;
    const std::string out = OutputFileOf(getpid());
    EXPECT_EXIT(
        {
            if (!std::freopen(OutputFileOf(getppid()).c_str(), "w", stdout))
                std::_Exit(3);
            std::fputs("last words without a line end", stdout);
            ReportFatalException("here", PMyExcpt());
        },
        ::testing::ExitedWithCode(1), "Необработанное исключение в here!");
    EXPECT_EQ(ReadBytes(out), "last words without a line end");
    std::remove(out.c_str());
}
