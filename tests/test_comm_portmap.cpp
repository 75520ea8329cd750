#include "TestUtils.h"

#include "ComPort/PortMap.h"

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

TEST(PortScanTest, NeverFindsPseudoTerminals)
{
    Pty pty;
    for (const auto& path : FindSerialDevices()) {
        char real[PATH_MAX];
        const std::string resolved = realpath(path.c_str(), real) ? real : path;
        EXPECT_NE(resolved.rfind("/dev/pts/", 0), 0u) << path;
        EXPECT_NE(resolved, "/dev/ptmx") << path;
    }
}
