#include "CommTestSupport.h"
#include "FakeDeviceTree.h"

#include "ComPort/CommUtils.h"
#include "ComPort/PortMap.h"
#include "PortDoctor/PortDoctor.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using my::Comm::Port;
using my::PortDoctor::PortAdvisor;

namespace {

// A port's failed or successful open as the link meets it, told to an
// advisor that writes into lines_ instead of the console; what the window
// was shown goes into shown_.
class PortAdviceTest : public ::testing::Test {
protected:
    PortAdviceTest() : config_("XDG_CONFIG_HOME", dir.Path() + "cfg"), advisor([this](const std::string& line) {
                                                                            lines.push_back(line);
                                                                        })
    {
        my::PortDoctor::SetAdviceShown([this](const std::string& advice) { shown.push_back(advice); });
    }
    ~PortAdviceTest() override { my::PortDoctor::SetAdviceShown(nullptr); }

    // Port n opened (true) or its failure told to the advisor.
    bool OpenAndTell(Port& port, int silentMs = 10)
    {
        const PMyExcpt e = Thrown([&] { port.Open(); });
        if (e)
            advisor.OpenFailed(static_cast<unsigned>(port.PortNumber()), e);
        else
            advisor.Opened(static_cast<unsigned>(port.PortNumber()), silentMs);
        return !e;
    }

    static FakeDeviceTree::UsbAdapter Ftdi(const std::string& tty, int latencyMs)
    {
        FakeDeviceTree::UsbAdapter a;
        a.tty = tty;
        a.byId = "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0";
        a.driver = "ftdi_sio";
        a.vendorId = "0403";
        a.productId = "6001";
        a.latencyTimerMs = latencyMs;
        return a;
    }

    TempDir dir;

private:
    ScopedEnv config_;

protected:
    std::vector<std::string> lines;
    std::vector<std::string> shown;
    PortAdvisor advisor;
};

const char* const kModemManagerFix =
    "запущен ModemManager: он опрашивает новые ttyACM и ttyUSB в первые секунды после подключения; исправление: "
    "правило udev ENV{ID_MM_DEVICE_IGNORE}=\"1\" для адаптера или sudo systemctl stop ModemManager";

} // namespace

TEST_F(PortAdviceTest, AnUnmappedNumberNamesTheMappedOnesAndWhereToMapIt)
{
    Port port;
    port.SetPortNumber(kUnmappedPort);
    EXPECT_FALSE(OpenAndTell(port));
    ASSERT_EQ(lines.size(), 1u);
    const std::string start = "COM8 не сопоставлен никакому устройству; сопоставлены COM1=" +
                              my::Comm::PortDevicePath(1) + ", COM2=" + my::Comm::PortDevicePath(2) + ", ";
    EXPECT_EQ(lines[0].substr(0, start.size()), start) << lines[0];
    const std::string end = ". Сопоставить: переменная окружения KALIST8_COM8=<устройство> или строка "
                            "COM8=<устройство> в разделе [PORTS] файла " +
                            dir.Path() + "cfg/comports.ini\n";
    ASSERT_GE(lines[0].size(), end.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - end.size()), end);
}

// Pulled out, waited for, plugged back under another ttyUSB: each cause is
// told once, the window hears the one in force, and an open clears it.
TEST_F(PortAdviceTest, AnAdapterPulledOutIsWaitedForByItsByIdNameAndFoundAgain)
{
    FakeDeviceTree tree;
    PtyPair first, second;
    const auto adapter = Ftdi("ttyUSB0", 1);
    const std::string byId = tree.Plug(adapter, first.SlavePath());
    ScopedEnv com5(PortVariable(5).c_str(), byId);
    Port port;
    port.SetPortNumber(5);
    ASSERT_TRUE(OpenAndTell(port));
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(shown.empty());

    port.Close();
    tree.Unplug(adapter);
    EXPECT_FALSE(OpenAndTell(port)); // ENOENT
    EXPECT_FALSE(OpenAndTell(port)); // no longer in the list: the same cause
    const std::string gone = "COM5: устройства " + byId +
                             " нет (адаптер отключён); программа ждёт его появления под этим именем и возобновит "
                             "опрос сама";
    EXPECT_EQ(lines, std::vector<std::string>{gone + "\n"});
    EXPECT_EQ(shown, (std::vector<std::string>{gone, gone}));

    auto replugged = adapter;
    replugged.tty = "ttyUSB3";
    tree.Plug(replugged, second.SlavePath());
    ASSERT_TRUE(OpenAndTell(port));
    EXPECT_EQ(shown.back(), "");
    EXPECT_EQ(port.Write("r", 1), 1);
    EXPECT_EQ(second.Read(1), "r");
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(PortAdviceTest, ABusyPortNamesItsHolderAndTheKnownGrabbersThatRun)
{
    HeldPort com3(3);
    ASSERT_TRUE(com3.Held());
    Port port;
    port.SetPortNumber(3);
    EXPECT_FALSE(OpenAndTell(port));
    ASSERT_EQ(lines.size(), 1u);
    const std::string busy = "COM3: " + com3.com.pty.SlavePath() + " занят другой программой; ";
    EXPECT_EQ(lines[0],
              busy + "открыт процессами: kalist8_comm_tests (pid " + std::to_string(com3.holder.Pid()) + ")\n");

    // The same port, now seen through a process list where ModemManager
    // holds it: a changed cause, told again.
    {
        FakeDeviceTree tree;
        tree.AddProcess(4242, "/usr/sbin/ModemManager", {com3.com.pty.SlavePath()});
        tree.AddProcess(4243, "/usr/bin/brltty");
        EXPECT_FALSE(OpenAndTell(port));
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], busy + "открыт процессами: ModemManager (pid 4242); " + kModemManagerFix +
                            "; запущен brltty: он захватывает адаптеры CH340 и CP210x; исправление: удалить пакет "
                            "brltty (sudo apt remove brltty) или его правила udev\n");
    EXPECT_EQ(com3.Release(), 0);
}

TEST_F(PortAdviceTest, ALatencyTimerLongerThanTheSilenceIsToldOnceWithTheUdevFix)
{
    FakeDeviceTree tree;
    PtyPair line;
    const auto adapter = Ftdi("ttyUSB0", 16);
    ScopedEnv com5(PortVariable(5).c_str(), tree.Plug(adapter, line.SlavePath()));
    Port port;
    port.SetPortNumber(5);
    ASSERT_TRUE(OpenAndTell(port, 20));
    EXPECT_TRUE(lines.empty());
    port.Close();
    ASSERT_TRUE(OpenAndTell(port, 10));
    port.Close();
    ASSERT_TRUE(OpenAndTell(port, 10));
    EXPECT_EQ(lines, std::vector<std::string>{
                         "COM5 (ttyUSB0): таймер задержки адаптера latency_timer = 16 мс, больше паузы конца ответа "
                         "10 мс: ответ может приходить частями и обрываться. Исправление: правило udev "
                         "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                         "ATTR{latency_timer}=\"1\" в файле /etc/udev/rules.d/99-usb-serial-latency.rules, затем "
                         "переподключить адаптер\n"});

    // The driver took the low latency request: nothing to say.
    PortAdvisor fresh([this](const std::string& text) { lines.push_back(text); });
    WriteBytes(tree.LatencyTimerFile(adapter), "1\n");
    port.Close();
    port.Open();
    fresh.Opened(5, 10);
    EXPECT_EQ(lines.size(), 1u);
}

namespace {

// A pseudo-terminal owned by a group, opened by "nobody" with the groups
// setpriv gives it.
struct AccessCase {
    const char* name;
    const char* deviceGroup;
    const char* sessionGid;    // setpriv --regid
    const char* sessionGroups; // setpriv --groups; nullptr: none
    const char* expectedTail;  // after "COM1: нет доступа к <pty> (владелец root, группа G, права crw-rw----)"
};

class NoAccessTest : public ::testing::TestWithParam<AccessCase> {};

} // namespace

TEST_P(NoAccessTest, TheUserIsToldTheGroupAndTheCommand)
{
    const AccessCase& c = GetParam();
    if (geteuid() != 0 || !getgrnam("nogroup") || !getgrnam("dialout"))
        GTEST_SKIP() << "needs root to hand the terminal to a group, and the groups dialout and nogroup";
    const gid_t deviceGid = getgrnam(c.deviceGroup)->gr_gid;
    PtyPair pty;
    ASSERT_EQ(chown(pty.SlavePath().c_str(), 0, deviceGid), 0);
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0660), 0);
    std::vector<std::string> argv = {"setpriv", "--reuid=nobody", std::string("--regid=") + c.sessionGid};
    argv.push_back(c.sessionGroups ? std::string("--groups=") + c.sessionGroups : "--clear-groups");
    for (const std::string& arg : {std::string("--"), SelfExe(), std::string(kHelperFlag), std::string("explain"),
                                   pty.SlavePath()})
        argv.push_back(arg);
    ChildProcess child(argv, true);
    ASSERT_EQ(child.StartError(), 0);
    const std::string said = child.ReadLine();
    const int code = child.Wait();
    if (said.empty())
        GTEST_SKIP() << "nobody cannot run the test program here (exit " << code << ")";
    if (!*c.expectedTail) {
        EXPECT_EQ(said, "opened");
        return;
    }
    EXPECT_EQ(said, "COM1: нет доступа к " + pty.SlavePath() + " (владелец root, группа " + c.deviceGroup +
                        ", права crw-rw----)" + c.expectedTail);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, NoAccessTest,
    ::testing::Values(
        AccessCase{"NotAMember", "dialout", "nogroup", nullptr,
                   "; пользователь nobody не входит в группу dialout. Исправление: sudo usermod -aG dialout nobody, "
                   "затем выйти из системы и войти снова"},
        AccessCase{"MemberSinceTheLastLogin", "nogroup", "dialout", nullptr,
                   "; пользователь nobody внесён в группу nogroup после входа в систему. Исправление: выйти из "
                   "системы и войти снова"},
        AccessCase{"MemberInThisSession", "dialout", "nogroup", "dialout", ""}),
    [](const ::testing::TestParamInfo<AccessCase>& info) { return std::string(info.param.name); });
