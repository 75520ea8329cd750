#pragma once

#include <cstdint>

namespace my::Comm {

typedef int (*IoctlFn)(int fd, unsigned long request, void* arg);

// Sets input and output rate of an already configured line to any rate the
// driver can make (termios2 with BOTHER), for rates that have no B constant.
// Goes through ioctlFn so that it uses the port's system call seam. Returns 0
// or an errno.
int SetCustomBaud(int fd, uint32_t baud, IoctlFn ioctlFn);

} // namespace my::Comm
