#include "CommTestSupport.h"

#include "ComPort/CommUtils.h"
#include "ComPort/SerialSys.h"

#include <gtest/gtest.h>

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <vector>

using my::Comm::Port;

namespace {

const char* const kBreak = "The hardware detected a break condition.";
const char* const kFrame = "The hardware detected a framing error.";
const char* const kOverrun = "A character-buffer overrun has occurred. The next character is lost.";
const char* const kErrorsPrefix =
    "Ошибка приема-передачи СОМ порта:Функция ClearCommError зафиксировала флаги критических ошибок::";

// The real system calls on a real pseudo-terminal, except what the test
// asks for: line error counters, modem lines and RS-485 mode as a UART
// driver would report them, and failures on demand.
class FakeSys : public my::Comm::SerialSys {
public:
    int Open(const char* path, int flags) override
    {
        if (failOpen)
            return Fail(failOpen);
        const int fd = SerialSys::Open(path, flags);
        if (fd >= 0)
            openFds.insert(fd);
        return fd;
    }
    int Close(int fd) override
    {
        openFds.erase(fd);
        return SerialSys::Close(fd);
    }
    int Flock(int fd, int operation) override { return failFlock ? Fail(failFlock) : SerialSys::Flock(fd, operation); }
    int Ioctl(int fd, unsigned long request, void* arg) override
    {
        const auto fail = failIoctl.find(request);
        if (fail != failIoctl.end())
            return Fail(fail->second);
        switch (request) {
        case TIOCGICOUNT:
            if (!uartCounters)
                break;
            *static_cast<serial_icounter_struct*>(arg) = counters;
            return 0;
        case TIOCMBIS:
        case TIOCMBIC: {
            const int line = *static_cast<int*>(arg);
            calls.push_back(std::string(line == TIOCM_DTR ? "DTR" : "RTS") + (request == TIOCMBIS ? "+" : "-"));
            return Fail(ENOTTY);
        }
        case TIOCSRS485:
            calls.push_back(static_cast<serial_rs485*>(arg)->flags == (SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND)
                                ? "RS485 on"
                                : (static_cast<serial_rs485*>(arg)->flags == 0 ? "RS485 off" : "RS485 ?"));
            return rs485Driver ? 0 : Fail(ENOTTY);
        case TIOCGSERIAL:
            if (!serialDriver)
                break;
            *static_cast<serial_struct*>(arg) = serial_struct{};
            static_cast<serial_struct*>(arg)->flags = serialFlags;
            return 0;
        case TIOCSSERIAL:
            calls.push_back("TIOCSSERIAL");
            if (!serialDriver)
                break;
            serialFlags = static_cast<serial_struct*>(arg)->flags;
            return 0;
        case TIOCGRS485:
            if (!rs485Driver)
                return Fail(ENOTTY);
            *static_cast<serial_rs485*>(arg) = serial_rs485{};
            static_cast<serial_rs485*>(arg)->flags = rs485LeftOn ? SER_RS485_ENABLED : 0;
            return 0;
        }
        return SerialSys::Ioctl(fd, request, arg);
    }
    int Tcsetattr(int fd, int action, const termios* t) override
    {
        return failTcsetattr ? Fail(failTcsetattr) : SerialSys::Tcsetattr(fd, action, t);
    }
    int Tcflush(int fd, int queue) override { return failTcflush ? Fail(failTcflush) : SerialSys::Tcflush(fd, queue); }
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override
    {
        if (!pollRevents)
            return SerialSys::Poll(fds, count, timeoutMs);
        fds[0].revents = pollRevents;
        return 1;
    }
    ssize_t Read(int fd, void* buf, size_t count) override
    {
        if (readReturnsNothing)
            return 0;
        return failRead ? Fail(failRead) : SerialSys::Read(fd, buf, count);
    }
    ssize_t Write(int fd, const void* buf, size_t count) override
    {
        return failWrite ? Fail(failWrite) : SerialSys::Write(fd, buf, count);
    }

    void Heal()
    {
        failOpen = failFlock = failTcsetattr = failTcflush = failRead = failWrite = 0;
        failIoctl.clear();
        pollRevents = 0;
        readReturnsNothing = false;
    }

    bool uartCounters = false;
    serial_icounter_struct counters{};
    bool rs485Driver = false;
    bool rs485LeftOn = false;
    bool serialDriver = false; // TIOCGSERIAL/TIOCSSERIAL as a UART or USB serial driver answers
    int serialFlags = 0;
    std::vector<std::string> calls;
    std::set<int> openFds;

    int failOpen = 0;
    int failFlock = 0;
    std::map<unsigned long, int> failIoctl;
    int failTcsetattr = 0;
    int failTcflush = 0;
    int failRead = 0;
    int failWrite = 0;
    short pollRevents = 0;
    bool readReturnsNothing = false;

private:
    static int Fail(int err)
    {
        errno = err;
        return -1;
    }
};

// Puts a fake in place for the life of the object.
class Installed {
public:
    explicit Installed(my::Comm::SerialSys* sys) : previous_(my::Comm::InstallSerialSys(sys)) {}
    ~Installed() { my::Comm::InstallSerialSys(previous_); }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    my::Comm::SerialSys* previous_;
};

// COM1 over a fresh pseudo-terminal, reached through the fake.
class FakeSysTest : public ::testing::Test {
protected:
    FakeSysTest() : com1(1), installed(&sys) {}

    PtyPort com1;
    FakeSys sys;
    Installed installed;
    Port port; // destroyed first, while the fake is still in place
};

} // namespace

TEST_F(FakeSysTest, LineErrorsSinceTheLastPollAreThrownOnce)
{
    sys.uartCounters = true;
    port.Open();
    EXPECT_EQ(port.ClearError(), 0u);

    sys.counters.brk = 1;
    sys.counters.overrun = 2;
    PMyExcpt e = Thrown([&] { port.ClearError(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->TypeName(), "MyClearCommErrorException");
    EXPECT_EQ(e->Message(), std::string(kErrorsPrefix) + "18:" + kBreak + kOverrun);
    EXPECT_EQ(e->Where().file, "CommUtils.cpp");
    EXPECT_TRUE(port.IsOpen());

    com1.pty.Write("abc");
    EXPECT_TRUE(WaitUntil([&] { return port.ClearError() == 3; }));

    sys.counters.frame = 1;
    e = Thrown([&] { port.ClearError(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Message(), std::string(kErrorsPrefix) + "8:" + kFrame);
    EXPECT_EQ(port.ClearError(), 3u);
}

TEST_F(FakeSysTest, ErrorsCountedBeforeOpeningAndOtherCountersAreNoErrors)
{
    sys.uartCounters = true;
    sys.counters.frame = 5;
    sys.counters.parity = 2;
    port.Open();
    sys.counters.rx = 40;
    sys.counters.tx = 12;
    sys.counters.cts = 3;
    sys.counters.dcd = 1;
    EXPECT_EQ(port.ClearError(), 0u);
}

TEST_F(FakeSysTest, FailingCallsBecomeTheirPortErrors)
{
    const struct {
        const char* name;
        std::function<void(FakeSys&)> arrange;
        bool duringOpen;
        std::function<void(Port&)> op;
        std::string message;
    } cases[] = {
        {"open", [](FakeSys& s) { s.failOpen = EACCES; }, true, nullptr,
         "WIN:13:Permission denied COM-порт \"COM1\" занят!"},
        {"flock", [](FakeSys& s) { s.failFlock = EWOULDBLOCK; }, true, nullptr,
         "WIN:16:Device or resource busy COM-порт \"COM1\" занят!"},
        {"TIOCEXCL", [](FakeSys& s) { s.failIoctl[TIOCEXCL] = EIO; }, true, nullptr,
         "WIN:5:Input/output error COM-порт \"COM1\" занят!"},
        {"tcflush", [](FakeSys& s) { s.failTcflush = EIO; }, true, nullptr, "WIN:5:Input/output error ::PurgeComm"},
        {"tcsetattr", [](FakeSys& s) { s.failTcsetattr = EINVAL; }, true, nullptr,
         "WIN:22:Invalid argument ::SetCommState"},
        {"modem line", [](FakeSys& s) { s.failIoctl[TIOCMBIC] = EIO; }, true, nullptr,
         "WIN:5:Input/output error ::SetCommState"},
        {"counters at open", [](FakeSys& s) { s.failIoctl[TIOCGICOUNT] = EIO; }, true, nullptr,
         "WIN:5:Input/output error ::ClearCommError"},
        {"FIONREAD", [](FakeSys& s) { s.failIoctl[FIONREAD] = EIO; }, false, [](Port& p) { p.ClearError(); },
         "WIN:5:Input/output error ::ClearCommError"},
        {"purge", [](FakeSys& s) { s.failTcflush = EIO; }, false, [](Port& p) { p.Purge(); },
         "WIN:5:Input/output error ::PurgeComm"},
        {"read",
         [](FakeSys& s) {
             s.pollRevents = POLLIN;
             s.failRead = EIO;
         },
         false,
         [](Port& p) {
             char b[2];
             p.Read(b, 2);
         },
         "WIN:5:Input/output error ::ReadFile"},
        {"hang-up while reading", [](FakeSys& s) { s.pollRevents = POLLHUP; }, false,
         [](Port& p) {
             char b[2];
             p.Read(b, 2);
         },
         "WIN:5:Input/output error ::ReadFile"},
        {"nothing after ready",
         [](FakeSys& s) {
             s.pollRevents = POLLIN;
             s.readReturnsNothing = true;
         },
         false,
         [](Port& p) {
             char b[2];
             p.Read(b, 2);
         },
         "WIN:5:Input/output error ::ReadFile"},
        {"write", [](FakeSys& s) { s.failWrite = EIO; }, false, [](Port& p) { p.Write("ab", 2); },
         "WIN:5:Input/output error ::WriteFile"},
        {"error while waiting to write", [](FakeSys& s) {
             s.failWrite = EAGAIN;
             s.pollRevents = POLLERR;
         },
         false, [](Port& p) { p.Write("ab", 2); }, "WIN:5:Input/output error ::WriteFile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSys fake;
        const Installed installed(&fake);
        Port p;
        if (!c.duringOpen)
            p.Open();
        c.arrange(fake);
        const PMyExcpt e = Thrown([&] {
            if (c.duringOpen)
                p.Open();
            else
                c.op(p);
        });
        ASSERT_TRUE(e);
        const MyException& cause = c.duringOpen && e->Nested() ? *e->Nested() : *e;
        if (c.duringOpen) {
            EXPECT_EQ(e->Message(), "Сбой при открытии порта!");
        }
        EXPECT_EQ(cause.TypeName(), "MyWindowsException");
        EXPECT_EQ(cause.Message(), c.message);
        EXPECT_EQ(Innermost(e).Where().file, "CommUtils.cpp");
        EXPECT_EQ(p.IsOpen(), !c.duringOpen);
        if (c.duringOpen) {
            EXPECT_TRUE(fake.openFds.empty()) << "a descriptor stayed open";
        }
        fake.Heal();
        p.Close();
        EXPECT_TRUE(fake.openFds.empty());
    }
}

TEST_F(FakeSysTest, ModemLinesAndRs485Mode)
{
    const struct {
        unsigned dtrControl;
        unsigned rtsControl;
        bool rs485Driver;
        bool rs485LeftOn;
        std::vector<std::string> calls;
    } cases[] = {
        {0, 0, false, false, {"DTR-", "RTS-"}},
        {1, 1, false, false, {"DTR+", "RTS+"}},
        {2, 2, false, false, {"DTR+", "RTS+"}},
        {0, 3, true, false, {"DTR-", "RS485 on"}},
        {1, 3, false, false, {"DTR+", "RS485 on", "RTS+"}},
        {0, 0, true, true, {"DTR-", "RS485 off", "RTS-"}},
        {0, 1, true, false, {"DTR-", "RTS+"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("dtr " + std::to_string(c.dtrControl) + " rts " + std::to_string(c.rtsControl)
                     + (c.rs485Driver ? " with" : " without") + " RS-485");
        sys.calls.clear();
        sys.rs485Driver = c.rs485Driver;
        sys.rs485LeftOn = c.rs485LeftOn;
        port.Close();
        port.Sets().dcb.fDtrControl = c.dtrControl;
        port.Sets().dcb.fRtsControl = c.rtsControl;
        port.Open(); // lines the pseudo-terminal lacks (ENOTTY) are no failure
        EXPECT_EQ(sys.calls, c.calls);
    }
}

TEST_F(FakeSysTest, OpeningAsksTheDriverForLowLatencyOnce)
{
    sys.serialDriver = true;
    sys.serialFlags = ASYNC_SKIP_TEST;
    port.Open();
    EXPECT_EQ(sys.serialFlags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "TIOCSSERIAL"), 1);
    port.Close();
    port.Open(); // already low latency: nothing to ask
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "TIOCSSERIAL"), 1);
}

TEST_F(FakeSysTest, ADriverWithoutLowLatencyStillOpens)
{
    port.Open(); // a pseudo-terminal: TIOCGSERIAL fails, nothing is set
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "TIOCSSERIAL"), 0);
    port.Close();
    sys.serialDriver = true;
    sys.failIoctl[TIOCSSERIAL] = EPERM;
    port.Open();
    EXPECT_TRUE(port.IsOpen());
}
