#include "CommTestSupport.h"

#include "ComPort/CommUtils.h"

#include <gtest/gtest.h>

#include <linux/serial.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// Line error counters and RS-485 mode exist only on real UARTs. These tests
// run when the machine names such devices:
//   KALIST8_TEST_SERIAL_PAIR="/dev/ttyUSB0,/dev/ttyUSB1"  two ports wired to
//       each other (TX to RX), whose drivers keep error counters;
//   KALIST8_TEST_RS485=/dev/ttyS1  a port whose driver has RS-485 mode.

namespace {

std::string SecondOfPair()
{
    const char* pair = std::getenv("KALIST8_TEST_SERIAL_PAIR");
    const std::string text = pair ? pair : "";
    const auto comma = text.find(',');
    return comma == std::string::npos ? std::string() : text.substr(comma + 1);
}

} // namespace

TEST(SerialHardwareTest, BreakFromTheOtherPortIsALineError)
{
    const std::string other = SecondOfPair();
    if (other.empty())
        GTEST_SKIP() << "KALIST8_TEST_SERIAL_PAIR names no pair of wired ports";
    my::Comm::Port port;
    port.SetPortNumber(kPairPort);
    port.Open();
    const int fd = open(other.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << other;
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) < 0) {
        close(fd);
        GTEST_SKIP() << other << " keeps no line error counters";
    }
    tcsendbreak(fd, 0);
    close(fd);
    PMyExcpt e;
    EXPECT_TRUE(WaitUntil([&] {
        e = Thrown([&] { port.ClearError(); });
        return bool(e);
    }));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->TypeName(), "MyClearCommErrorException");
    EXPECT_NE(e->Message().find("The hardware detected a break condition."), std::string::npos) << e->Message();
}

TEST(SerialHardwareTest, RtsToggleAsksTheDriverForRs485Mode)
{
    const char* device = std::getenv("KALIST8_TEST_RS485");
    if (!device || !*device)
        GTEST_SKIP() << "KALIST8_TEST_RS485 names no RS-485 port";
    my::Comm::Port port;
    port.SetPortNumber(kRs485Port);
    port.Sets().dcb.fRtsControl = 3;
    port.Open();
    port.Close();

    const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << device;
    serial_rs485 rs{};
    const int got = ioctl(fd, TIOCGRS485, &rs);
    const int err = errno;
    close(fd);
    if (got < 0 && (err == ENOTTY || err == EINVAL))
        GTEST_SKIP() << device << " has no RS-485 mode";
    ASSERT_EQ(got, 0);
    EXPECT_TRUE(rs.flags & SER_RS485_ENABLED);
    EXPECT_TRUE(rs.flags & SER_RS485_RTS_ON_SEND);
}
