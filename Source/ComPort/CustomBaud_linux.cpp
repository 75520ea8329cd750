// This file stands alone because of <asm/termbits.h>: struct termios2 and
// BOTHER are declared only there, and that header defines its own struct
// termios and the same flag macros as glibc's <termios.h>, so the two headers
// cannot be included in one translation unit. Nothing here may include
// <termios.h>, directly or through a header of ours.
#include "ComPort/CustomBaud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

namespace my::Comm {

namespace {

int LastError() { return errno ? errno : EIO; }

} // namespace

int SetCustomBaud(int fd, uint32_t baud, IoctlFn ioctlFn)
{
    termios2 t{};
    if (ioctlFn(fd, TCGETS2, &t) < 0)
        return LastError();
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctlFn(fd, TCSETS2, &t) < 0)
        return LastError();
    return 0;
}

} // namespace my::Comm
