#pragma once

#include <cstdint>

// The serial settings records the program stores and compares, laid out as
// the Windows structures they come from, so that settings files written on
// Windows mean the same here. The port layer translates them to termios.

struct DCB {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t fBinary : 1;
    uint32_t fParity : 1;
    uint32_t fOutxCtsFlow : 1;
    uint32_t fOutxDsrFlow : 1;
    uint32_t fDtrControl : 2;
    uint32_t fDsrSensitivity : 1;
    uint32_t fTXContinueOnXoff : 1;
    uint32_t fOutX : 1;
    uint32_t fInX : 1;
    uint32_t fErrorChar : 1;
    uint32_t fNull : 1;
    uint32_t fRtsControl : 2;
    uint32_t fAbortOnError : 1;
    uint32_t fDummy2 : 17;
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB keeps the Windows layout");

struct COMMTIMEOUTS {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// Line error flags as ClearCommError reports them.
enum : uint32_t {
    CE_RXOVER = 0x0001,
    CE_OVERRUN = 0x0002,
    CE_RXPARITY = 0x0004,
    CE_FRAME = 0x0008,
    CE_BREAK = 0x0010,
    CE_TXFULL = 0x0100,
    CE_IOE = 0x0400,
    CE_MODE = 0x8000,
};
