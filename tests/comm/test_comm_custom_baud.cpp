// Reads the line back through termios2, so this file, like the port's own
// custom-rate file, keeps away from glibc's <termios.h>: <asm/termbits.h>
// declares the same names.
#include "CommTestSupport.h"

#include "ComPort/CommUtils.h"

#include <gtest/gtest.h>

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The rates the line carries after the port has set it up and closed.
bool LineRates(const std::string& path, termios2& t)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool ok = ioctl(fd, TCGETS2, &t) == 0;
    close(fd);
    return ok;
}

} // namespace

TEST(CustomBaudTest, RatesWithoutABConstantAreSetExactly)
{
    for (const uint32_t baud : {14400u, 56000u, 250000u}) {
        SCOPED_TRACE(baud);
        PtyPort com1(1);
        my::Comm::Port port;
        port.Sets().dcb.BaudRate = baud;
        port.Open();
        port.Close();
        termios2 t{};
        ASSERT_TRUE(LineRates(com1.pty.SlavePath(), t));
        EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
        EXPECT_EQ(t.c_ospeed, baud);
        EXPECT_EQ(t.c_ispeed, baud);
    }
}
