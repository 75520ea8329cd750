#include "CommTestSupport.h"

#include "ComPort/CommSets.h"
#include "ComPort/CommUtils.h"
#include "ComPort/MyDCBHelper.h"
#include "ComPort/PortMap.h"
#include "VCLUtils/IniFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using my::Comm::Port;
using my::Comm::PortSetsT;

namespace {

const char* const kOpenFailed = "Сбой при открытии порта!";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A failed Open(): "Сбой при открытии порта!" from the port layer with the
// cause nested; returns the cause.
const MyException& OpenFailureCause(const PMyExcpt& e)
{
    static const MyException none(FILE_LINE, "no exception");
    if (!e)
        return none;
    EXPECT_EQ(e->TypeName(), "MyException");
    EXPECT_EQ(e->Message(), kOpenFailed);
    EXPECT_EQ(e->Where().file, "CommUtils.cpp");
    return e->Nested() ? *e->Nested() : none;
}

// The busy text of port n with its errno, raised by the port layer.
void ExpectBusy(const MyException& cause, int portNumber, int code)
{
    EXPECT_EQ(cause.TypeName(), "MyWindowsException");
    const std::string name = "COM" + std::to_string(portNumber);
    EXPECT_TRUE(EndsWith(cause.Message(), "COM-порт \"" + name + "\" занят!")) << cause.Message();
    EXPECT_EQ(cause.Where().file, "CommUtils.cpp");
    const auto* w = dynamic_cast<const MyWindowsException*>(&cause);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Code(), code);
}

std::string NotPresentText(int portNumber)
{
    return "COM-порт c символическим именем \"COM" + std::to_string(portNumber) + "\" не представлен в системе!";
}

// A port switched to number n, with the per-port settings file in a
// directory of its own.
class PortTest : public ::testing::Test {
protected:
    PortTest() : config_("XDG_CONFIG_HOME", dir.Path() + "cfg") {}

    TempDir dir;

private:
    ScopedEnv config_;
};

} // namespace

TEST_F(PortTest, FreshPortIsClosedCom1WithBuiltInSettings)
{
    Port port;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), 1);
    EXPECT_EQ(port.Description(), "COM1 9600");
    EXPECT_FALSE(DCBDiffers(port.Sets().dcb, PortSetsT().dcb));
    port.Sets().dcb.BaudRate = 19200;
    EXPECT_EQ(port.Description(), "COM1 19200");
}

TEST_F(PortTest, OpensClosesAndOpensAgain)
{
    PtyPort com1(1);
    Port port;
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    port.Open(); // already open: nothing happens
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    port.Close();
    port.Open();
    EXPECT_EQ(port.Write("ok", 2), 2);
    EXPECT_EQ(com1.pty.Read(2), "ok");
}

TEST_F(PortTest, SecondPortOfTheSameProcessIsRefusedAsBusy)
{
    PtyPort com2(2);
    Port first;
    first.SetPortNumber(2);
    first.Open();

    Port second;
    second.SetPortNumber(2);
    const PMyExcpt e = Thrown([&] { second.Open(); });
    ASSERT_TRUE(e);
    ExpectBusy(OpenFailureCause(e), 2, EBUSY);
    EXPECT_FALSE(second.IsOpen());

    EXPECT_EQ(first.Write("x", 1), 1);
    EXPECT_EQ(com2.pty.Read(1), "x");
    first.Close();
    second.Open();
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(PortTest, PortHeldByAnotherProcessIsRefusedAsBusy)
{
    HeldPort com3(3);
    ASSERT_TRUE(com3.Held());

    Port port;
    port.SetPortNumber(3);
    const PMyExcpt e = Thrown([&] { port.Open(); });
    ASSERT_TRUE(e);
    ExpectBusy(OpenFailureCause(e), 3, EBUSY);
    EXPECT_FALSE(port.IsOpen());

    ASSERT_EQ(com3.Release(), 0);
    port.Open();
    EXPECT_TRUE(port.IsOpen());
}

// TIOCEXCL alone, as another program meets it: that program opens without
// flock and without CAP_SYS_ADMIN, which would let it through.
TEST_F(PortTest, ExclusiveModeKeepsOtherProgramsOutUntilClosed)
{
    PtyPort com4(4);
    Port port;
    port.SetPortNumber(4);
    port.Open();
    const auto plainOpen = [&] {
        ChildProcess opener({"setpriv", "--bounding-set=-sys_admin", "--", SelfExe(), kHelperFlag, "plain-open",
                             com4.pty.SlavePath()},
                            true);
        return opener.StartError() ? -1 : opener.Wait();
    };
    const int whileOpen = plainOpen();
    if (whileOpen != kRefusedBusy && whileOpen != kOpened)
        GTEST_SKIP() << "setpriv cannot run the opener without CAP_SYS_ADMIN here (" << whileOpen << ")";
    EXPECT_EQ(whileOpen, kRefusedBusy);
    port.Close();
    EXPECT_EQ(plainOpen(), kOpened);
}

TEST_F(PortTest, UnmappedNumberIsNotPresent)
{
    Port port;
    port.SetPortNumber(kUnmappedPort);
    const PMyExcpt e = Thrown([&] { port.Open(); });
    ASSERT_TRUE(e);
    const MyException& cause = OpenFailureCause(e);
    EXPECT_EQ(cause.TypeName(), "MyException");
    EXPECT_EQ(cause.Message(), NotPresentText(kUnmappedPort));
    EXPECT_EQ(cause.Where().file, "CommUtils.cpp");
    EXPECT_FALSE(port.IsOpen());
}

// The list was built at the start without it: opening builds it again.
TEST_F(PortTest, PortThatAppearedAfterTheListWasBuiltOpensWithoutARestart)
{
    PtyPair pty;
    const std::string late = my::Comm::PortDevicePath(kLatePort);
    ASSERT_FALSE(late.empty());
    ASSERT_FALSE(my::Comm::IsPortPresent(kLatePort));
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), late.c_str()), 0);

    Port port;
    port.SetPortNumber(kLatePort);
    port.Open();
    EXPECT_TRUE(my::Comm::IsPortPresent(kLatePort));
    EXPECT_EQ(port.Write("9", 1), 1);
    EXPECT_EQ(pty.Read(1), "9");
    port.Close();

    // Gone again: the failed open takes it off the list.
    unlink(late.c_str());
    const PMyExcpt gone = Thrown([&] { port.Open(); });
    ASSERT_TRUE(gone);
    ExpectBusy(OpenFailureCause(gone), kLatePort, ENOENT);
    EXPECT_FALSE(my::Comm::IsPortPresent(kLatePort));
    const PMyExcpt absent = Thrown([&] { port.Open(); });
    ASSERT_TRUE(absent);
    EXPECT_EQ(OpenFailureCause(absent).Message(), NotPresentText(kLatePort));
}

TEST_F(PortTest, DeviceMissingAtOpeningIsReportedAsBusy)
{
    ScopedEnv gone(PortVariable(5).c_str(), dir.File("no-such-device"));
    Port port;
    port.SetPortNumber(5);
    const PMyExcpt e = Thrown([&] { port.Open(); });
    ASSERT_TRUE(e);
    ExpectBusy(OpenFailureCause(e), 5, ENOENT);
}

TEST_F(PortTest, SameNumberChangesNothingAndTouchesNoFile)
{
    PtyPort com1(1);
    Port port;
    port.Sets().dcb.BaudRate = 4800;
    port.SetPortNumber(1);
    port.Open();
    port.SetPortNumber(1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Sets().dcb.BaudRate, 4800u);
    EXPECT_FALSE(FileExists(my::Comm::PortSetsFilePath()));
}

TEST_F(PortTest, SwitchingRemembersTheOldPortAndTakesTheNewOnesSettings)
{
    for (const bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "closed");
        TempDir config;
        ScopedEnv xdg("XDG_CONFIG_HOME", config.Path());
        PtyPort com2(2);
        PtyPort com5(5);
        PortSetsT com5Sets;
        com5Sets.dcb.BaudRate = 19200;
        com5Sets.timeouts.ReadTotalTimeoutConstant = 7;
        my::Comm::SavePortSetsToFile(5, com5Sets);

        Port port;
        port.SetPortNumber(2);
        if (open)
            port.Open();
        port.Sets().dcb.BaudRate = 4800;
        port.SetPortNumber(5);

        my::IniFile file(my::Comm::PortSetsFilePath());
        EXPECT_EQ(file.ReadInteger("COM2", "BaudRate", 0), 4800);
        EXPECT_EQ(port.PortNumber(), 5);
        EXPECT_EQ(port.Description(), "COM5 19200");
        EXPECT_EQ(port.Sets().timeouts.ReadTotalTimeoutConstant, 7u);
        EXPECT_EQ(port.IsOpen(), open);
        if (open) {
            EXPECT_EQ(port.Write("5", 1), 1);
            EXPECT_EQ(com5.pty.Read(1), "5");
        }
        Port other; // COM2 is free again
        other.SetPortNumber(2);
        other.Open();
        EXPECT_TRUE(other.IsOpen());
    }
}

TEST_F(PortTest, SettingsAPseudoTerminalCannotCarryOutDoNotFailTheOpen)
{
    PtyPort com1(1);
    Port port;
    DCB& d = port.Sets().dcb;
    d.BaudRate = 14400;
    d.ByteSize = 7;
    d.Parity = 2;
    d.fParity = 1;
    d.StopBits = 2;
    d.fOutxCtsFlow = 1;
    d.fDtrControl = 1;
    d.fRtsControl = 3;
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    d.fRtsControl = 1;
    d.fDtrControl = 0;
    port.SetSets(port.Sets());
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(PortTest, ValuesTheLineCannotTakeFailSetCommState)
{
    PtyPort com1(1);
    Port port;
    port.Sets().dcb.ByteSize = 9;
    const PMyExcpt e = Thrown([&] { port.Open(); });
    ASSERT_TRUE(e);
    const MyException& cause = OpenFailureCause(e);
    EXPECT_EQ(cause.Message(), "WIN:22:Invalid argument ::SetCommState");
    EXPECT_EQ(cause.Where().file, "CommUtils.cpp");
    EXPECT_FALSE(port.IsOpen());

    // On an open port the failure is the step's own, and the port stays open.
    port.Sets().dcb.ByteSize = 8;
    port.Open();
    PortSetsT bad = port.Sets();
    bad.dcb.Parity = 7;
    const PMyExcpt direct = Thrown([&] { port.SetSets(bad); });
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->Message(), "WIN:22:Invalid argument ::SetCommState");
    EXPECT_EQ(direct->Where().file, "CommUtils.cpp");
    EXPECT_TRUE(port.IsOpen());

    PortSetsT refused = PortSetsT();
    refused.timeouts.ReadIntervalTimeout = refused.timeouts.ReadTotalTimeoutMultiplier =
        refused.timeouts.ReadTotalTimeoutConstant = 0xFFFFFFFFu;
    const PMyExcpt timeouts = Thrown([&] { port.SetSets(refused); });
    ASSERT_TRUE(timeouts);
    EXPECT_EQ(timeouts->Message(), "WIN:22:Invalid argument ::SetCommTimeouts");
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(PortTest, SetSetsOnAClosedPortOnlyStoresTheRecordForTheNextOpen)
{
    PtyPort com1(1);
    Port port;
    PortSetsT bad;
    bad.dcb.ByteSize = 9;
    EXPECT_NO_THROW(port.SetSets(bad)); // nothing is applied yet
    EXPECT_FALSE(port.IsOpen());
    // The opening applies it, and the line refuses it.
    const PMyExcpt e = Thrown([&] { port.Open(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(OpenFailureCause(e).Message(), "WIN:22:Invalid argument ::SetCommState");
}
