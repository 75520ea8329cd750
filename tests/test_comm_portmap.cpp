#include "FakeDeviceTree.h"
#include "TestUtils.h"

#include "ComPort/CommSets.h"
#include "ComPort/PortMap.h"
#include "PortDoctor/PortFacts.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace my::Comm;

namespace {

// The port map with a configuration directory of its own, no port mapped by
// the environment and the devices "found" chosen by the test.
class PortMapTest : public ::testing::Test {
protected:
    PortMapTest() : config_("XDG_CONFIG_HOME", dir.Path() + "cfg")
    {
        for (unsigned n = 1; n <= 9; ++n)
            unmapped_.push_back(std::make_unique<ScopedEnv>(("KALIST8_COM" + std::to_string(n)).c_str(), ""));
        SetDeviceScanSource([this] { return found; });
    }
    ~PortMapTest() override { SetDeviceScanSource(nullptr); }

    std::string MapFile() const { return dir.Path() + "cfg/comports.ini"; }
    void WriteMap(const std::string& utf8)
    {
        std::filesystem::create_directories(dir.Path() + "cfg");
        WriteBytes(MapFile(), WinText(utf8));
    }

    TempDir dir;
    std::vector<std::string> found;

private:
    ScopedEnv config_;
    std::vector<std::unique_ptr<ScopedEnv>> unmapped_;
};

// A pseudo-terminal's slave path, alive as long as the object.
class Pty {
public:
    Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            slave_ = ptsname(master_);
    }
    ~Pty() { close(master_); }
    const std::string& Slave() const { return slave_; }

private:
    int master_;
    std::string slave_;
};

} // namespace

TEST_F(PortMapTest, EnvironmentComesBeforeTheMapFile)
{
    WriteMap("[PORTS]\nCOM2=/dev/ttyUSB7\ncom4 = /dev/serial/by-id/usb-X \n");
    EXPECT_EQ(PortMapFilePath(), MapFile());
    EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB7");
    EXPECT_EQ(PortDevicePath(4), "/dev/serial/by-id/usb-X");
    EXPECT_EQ(PortDevicePath(3), "");
    ScopedEnv env("KALIST8_COM2", "/dev/pts/9");
    EXPECT_EQ(PortDevicePath(2), "/dev/pts/9");
}

TEST_F(PortMapTest, NewDevicesGetTheLowestFreeNumbersOnce)
{
    WriteMap("[PORTS]\nCOM1=/dev/ttyUSB0\n");
    ScopedEnv env("KALIST8_COM2", "/dev/pts/3");
    found = {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A1", "/dev/ttyACM0", "/dev/pts/3"};
    NumberNewDevices();
    const std::string expected = WinText("[PORTS]\n"
                                         "COM1=/dev/ttyUSB0\n"
                                         "COM3=/dev/serial/by-id/usb-FTDI_A1\n"
                                         "COM4=/dev/ttyACM0\n");
    EXPECT_EQ(ReadBytes(MapFile()), expected);
    NumberNewDevices();
    EXPECT_EQ(ReadBytes(MapFile()), expected);
    EXPECT_EQ(PortDevicePath(4), "/dev/ttyACM0");
}

TEST_F(PortMapTest, ADeviceReachedThroughALinkKeepsItsNumber)
{
    WriteBytes(dir.File("ttyX0"), "");
    ASSERT_EQ(symlink(dir.File("ttyX0").c_str(), dir.File("by-id-X").c_str()), 0);
    ScopedEnv env("KALIST8_COM5", dir.File("ttyX0"));
    found = {dir.File("by-id-X")};
    NumberNewDevices();
    EXPECT_FALSE(FileExists(MapFile()));
}

TEST_F(PortMapTest, OnlyNineNumbersAreGiven)
{
    for (int i = 0; i < 12; ++i)
        found.push_back("/dev/ttyUSB" + std::to_string(i));
    NumberNewDevices();
    for (unsigned n = 1; n <= 9; ++n)
        EXPECT_EQ(PortDevicePath(n), "/dev/ttyUSB" + std::to_string(n - 1));
    EXPECT_EQ(ReadBytes(MapFile()).find("ttyUSB9"), std::string::npos);
}

TEST_F(PortMapTest, AMapFileThatCannotBeWrittenLeavesDevicesUnnumbered)
{
    WriteBytes(dir.File("plain"), "");
    ScopedEnv config("XDG_CONFIG_HOME", dir.File("plain") + "/cfg");
    found = {"/dev/ttyUSB0"};
    NumberNewDevices();
    EXPECT_EQ(PortDevicePath(1), "");
}

TEST_F(PortMapTest, PresentPortsAreThoseMappedToTerminalsNow)
{
    Pty pty;
    ASSERT_FALSE(pty.Slave().empty());
    WriteBytes(dir.File("file"), "");
    ASSERT_EQ(symlink(pty.Slave().c_str(), dir.File("link").c_str()), 0);

    EXPECT_TRUE(IsTerminalDevice(pty.Slave()));
    EXPECT_TRUE(IsTerminalDevice(dir.File("link")));
    EXPECT_FALSE(IsTerminalDevice(dir.File("file")));
    EXPECT_FALSE(IsTerminalDevice("/dev/null"));
    EXPECT_FALSE(IsTerminalDevice("/dev/ptmx"));
    EXPECT_FALSE(IsTerminalDevice(dir.File("missing")));
    EXPECT_FALSE(IsTerminalDevice(""));

    ScopedEnv com2("KALIST8_COM2", dir.File("link"));
    ScopedEnv com4("KALIST8_COM4", pty.Slave());
    ScopedEnv com5("KALIST8_COM5", dir.File("file"));
    ScopedEnv com6("KALIST8_COM6", dir.File("missing"));
    EXPECT_EQ(MappedPresentPorts(), (std::vector<unsigned>{2, 4}));
}

// The machine's own scan, over a fake /dev and /sys: two FTDI adapters known
// by id, an Arduino's ttyACM, a console on ttyS0, a real UART on ttyS1, the
// phantom ttyS ports the serial core lists without a UART, and the
// pseudo-terminal entries a scan must pass by.
class PortScanTest : public PortMapTest {
protected:
    PortScanTest()
    {
        SetDeviceScanSource(nullptr);
        tree.SetConsole("tty0 ttyS0");
        tree.AddUart("ttyS0", 4, ptys[0].Slave());
        tree.AddUart("ttyS1", 4, ptys[1].Slave());
        tree.AddUart("ttyS2", 0, ptys[2].Slave());
        tree.AddUart("ttyS3", 0);
        tree.AddUart("ttyAMA0", 0);
        tree.AddNode("ptmx", "/dev/ptmx");
        tree.AddNode("pts/0", ptys[2].Slave());
        tree.AddNode("ttyprintk", ptys[2].Slave());
    }

    static FakeDeviceTree::UsbAdapter Ftdi(const std::string& tty, const std::string& serial, int usbPort)
    {
        FakeDeviceTree::UsbAdapter a;
        a.tty = tty;
        a.byId = "usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0";
        a.driver = "ftdi_sio";
        a.vendorId = "0403";
        a.productId = "6001";
        a.manufacturer = "FTDI";
        a.product = "FT232R USB UART";
        a.serial = serial;
        a.latencyTimerMs = 16;
        a.usbPort = usbPort;
        return a;
    }
    static FakeDeviceTree::UsbAdapter Acm()
    {
        FakeDeviceTree::UsbAdapter a;
        a.tty = "ttyACM0";
        a.byId = "usb-Arduino__www.arduino.cc__0043_7553530323935-if00";
        a.driver = "cdc_acm";
        a.vendorId = "2341";
        a.productId = "0043";
        a.usbPort = 3;
        return a;
    }

    Pty ptys[6];
    FakeDeviceTree tree;
};

TEST_F(PortScanTest, FindsAdaptersByIdOnceThenAcmThenRealUartsButNotTheConsole)
{
    const std::string a = tree.Plug(Ftdi("ttyUSB0", "A10K1ABC", 1), ptys[3].Slave());
    const std::string b = tree.Plug(Ftdi("ttyUSB1", "A10K2XYZ", 2), ptys[4].Slave());
    const std::string acm = tree.Plug(Acm(), ptys[5].Slave());
    tree.RemoveNode("serial/by-id/" + Acm().byId); // an ACM device without a stable name
    EXPECT_EQ(FindSerialDevices(),
              (std::vector<std::string>{a, b, tree.Path("/dev/ttyACM0"), tree.Path("/dev/ttyS1")}));
}

TEST_F(PortScanTest, AFreshMachineNumbersItsDevicesAndListsThePresentOnes)
{
    const std::string a = tree.Plug(Ftdi("ttyUSB0", "A10K1ABC", 1), ptys[3].Slave());
    tree.AddNode("ttyUSB5"); // a stale node that leads to no terminal
    const std::vector<unsigned> present = RescanPresentPorts();
    EXPECT_EQ(ReadBytes(MapFile()), WinText("[PORTS]\nCOM1=" + a + "\nCOM2=" + tree.Path("/dev/ttyUSB5") +
                                            "\nCOM3=" + tree.Path("/dev/ttyS1") + "\n"));
    EXPECT_EQ(present, (std::vector<unsigned>{1, 3}));
    EXPECT_EQ(PresentPorts(), present);
    EXPECT_TRUE(IsPortPresent(3));
    EXPECT_FALSE(IsPortPresent(2));
}

TEST_F(PortScanTest, AdaptersBeyondNineGetNoNumberAndThePresentPortsStayWithinOneToNine)
{
    Pty more[10];
    for (int i = 0; i < 10; ++i)
        tree.Plug(Ftdi("ttyUSB" + std::to_string(i), "B" + std::to_string(10 + i), 10 + i), more[i].Slave());
    EXPECT_EQ(RescanPresentPorts(), (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(PortDevicePath(9), tree.Path("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B18-if00-port0"));
    EXPECT_FALSE(IsPortPresent(0));
    EXPECT_FALSE(IsPortPresent(10));
    EXPECT_EQ(ReadBytes(MapFile()).find("B19"), std::string::npos);
}

// Plugged in while the program runs, pulled out and plugged back under
// another ttyUSB: the same number, found again by its by-id name.
TEST_F(PortScanTest, ALaterAdapterIsNumberedByIdAndKeepsItsNumberAcrossAReplug)
{
    EXPECT_EQ(RescanPresentPorts(), (std::vector<unsigned>{1}));
    const auto adapter = Ftdi("ttyUSB0", "A10K1ABC", 1);
    const std::string byId = tree.Plug(adapter, ptys[3].Slave());
    EXPECT_EQ(RescanPresentPorts(), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(PortDevicePath(2), byId);

    tree.Unplug(adapter);
    EXPECT_EQ(RescanPresentPorts(), (std::vector<unsigned>{1}));
    auto replugged = adapter;
    replugged.tty = "ttyUSB1";
    tree.Plug(replugged, ptys[4].Slave());
    EXPECT_EQ(RescanPresentPorts(), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(ReadBytes(MapFile()), WinText("[PORTS]\nCOM1=" + tree.Path("/dev/ttyS1") + "\nCOM2=" + byId + "\n"));
}

TEST_F(PortScanTest, TwoIdenticalAdaptersAreToldApartByTheirFacts)
{
    const std::string a = tree.Plug(Ftdi("ttyUSB0", "A10K1ABC", 1), ptys[3].Slave());
    const std::string b = tree.Plug(Ftdi("ttyUSB1", "A10K2XYZ", 2), ptys[4].Slave());
    tree.Plug(Acm(), ptys[5].Slave());

    const my::PortDoctor::PortFacts fa = my::PortDoctor::ReadPortFacts(a);
    EXPECT_EQ(fa.node, "ttyUSB0");
    EXPECT_EQ(fa.byId, "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0");
    EXPECT_EQ(fa.latencyTimerMs, 16);
    EXPECT_EQ(my::PortDoctor::PortFactsText(fa), a + " (ttyUSB0)\n"
                                                    "драйвер ftdi_sio, USB 0403:6001\n"
                                                    "FTDI FT232R USB UART\n"
                                                    "серийный номер A10K1ABC");
    EXPECT_EQ(my::PortDoctor::PortFactsText(my::PortDoctor::ReadPortFacts(b)),
              b + " (ttyUSB1)\nдрайвер ftdi_sio, USB 0403:6001\nFTDI FT232R USB UART\nсерийный номер A10K2XYZ");
    EXPECT_EQ(my::PortDoctor::PortFactsText(my::PortDoctor::ReadPortFacts(tree.Path("/dev/ttyACM0"))),
              tree.Path("/dev/ttyACM0") + "\nby-id: " + Acm().byId + "\nдрайвер cdc_acm, USB 2341:0043");
    EXPECT_EQ(my::PortDoctor::PortFactsText(my::PortDoctor::ReadPortFacts(tree.Path("/dev/ttyS1"))),
              tree.Path("/dev/ttyS1") + "\nдрайвер serial8250");
    // A pseudo-terminal has nothing in sysfs: its path alone.
    EXPECT_EQ(my::PortDoctor::PortFactsText(my::PortDoctor::ReadPortFacts(ptys[0].Slave())), ptys[0].Slave());
}
