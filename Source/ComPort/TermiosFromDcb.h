#pragma once

#include "ComPort/WinCommTypes.h"

#include <cstdint>
#include <termios.h>

namespace my::Comm {

// What a line control block asks of a Linux serial line.
//
// The termios part is always raw mode: no echo, no line editing, no signal
// characters, no CR/LF translation, no output processing, so every byte
// passes unchanged; reads never wait inside the driver (VMIN = VTIME = 0)
// because the port's timeouts are done with poll(). The receiver is on
// (CREAD), modem status lines do not gate the port (CLOCAL) and the modem
// lines drop when the last user closes it (HUPCL).
//
// Fields without a Linux counterpart are not translated: fBinary (the line
// is always binary), fOutxDsrFlow and fDsrSensitivity (Linux has no DSR flow
// control), fTXContinueOnXoff, fErrorChar, fNull, fAbortOnError, XonLim,
// XoffLim, ErrorChar, EofChar, EvtChar.
struct LineSettings {
    termios tio;
    // Non-zero for a rate without a B constant: tio then carries B38400 and
    // the rate is set afterwards through termios2.
    uint32_t customBaud;
    bool dtr; // DTR raised
    bool rts; // RTS raised (fRtsControl 1, 2, and 3 where the driver has no RS-485 mode)
    // fRtsControl 3: the driver raises RTS while it sends (TIOCSRS485).
    bool rs485;
};

// Fills out from the block: 0, or EINVAL when the block holds a value termios
// cannot take (BaudRate 0, ByteSize outside 5 to 8, Parity above 4, StopBits
// above 2).
int TermiosFromDcb(const DCB& dcb, LineSettings& out);

// The B constant of a rate termios names; B0 when it has none.
speed_t StandardSpeed(uint32_t baud);

} // namespace my::Comm
