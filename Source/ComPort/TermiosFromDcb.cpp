#include "ComPort/TermiosFromDcb.h"

#include <cerrno>

namespace my::Comm {

namespace {

struct SpeedName {
    uint32_t baud;
    speed_t speed;
};

const SpeedName kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

const tcflag_t kCharSizes[] = {CS5, CS6, CS7, CS8};

// Parity 0 none, 1 odd, 2 even, 3 mark, 4 space. With CMSPAR the parity bit
// is constant: 1 with PARODD (mark), 0 without (space).
const tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};

enum : unsigned { kRtsHandshake = 2, kRtsToggle = 3 };

int SetSpeed(uint32_t baud, LineSettings& s)
{
    if (baud == 0)
        return EINVAL;
    speed_t speed = StandardSpeed(baud);
    if (speed == B0) {
        s.customBaud = baud;
        speed = B38400;
    }
    cfsetispeed(&s.tio, speed);
    cfsetospeed(&s.tio, speed);
    return 0;
}

int SetFraming(const DCB& dcb, termios& t)
{
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2)
        return EINVAL;
    t.c_cflag |= kCharSizes[dcb.ByteSize - 5] | kParities[dcb.Parity];
    // One and a half stop bits exist only on Windows; Linux sends two.
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    if (dcb.fParity)
        t.c_iflag |= INPCK;
    return 0;
}

void SetFlowControl(const DCB& dcb, termios& t)
{
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

} // namespace

speed_t StandardSpeed(uint32_t baud)
{
    for (const auto& s : kSpeeds)
        if (s.baud == baud)
            return s.speed;
    return B0;
}

int TermiosFromDcb(const DCB& dcb, LineSettings& out)
{
    LineSettings s{};
    s.tio.c_cflag = CREAD | CLOCAL | HUPCL;
    if (const int err = SetSpeed(dcb.BaudRate, s))
        return err;
    if (const int err = SetFraming(dcb, s.tio))
        return err;
    SetFlowControl(dcb, s.tio);
    s.tio.c_cc[VMIN] = 0;
    s.tio.c_cc[VTIME] = 0;
    s.dtr = dcb.fDtrControl != 0;
    s.rts = dcb.fRtsControl != 0;
    s.rs485 = dcb.fRtsControl == kRtsToggle;
    out = s;
    return 0;
}

} // namespace my::Comm
