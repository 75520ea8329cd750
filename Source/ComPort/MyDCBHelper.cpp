#include "ComPort/MyDCBHelper.h"

#include "Excpt/MyAssert.h"

namespace {

const char* const kFieldNames[DCB_FIELDS_COUNT] = {
    "BaudRate",   "fBinary",  "fParity",          "fOutxCtsFlow", "fOutxDsrFlow", "fDtrControl",
    "fDsrSensitivity", "fTXContinueOnXoff", "fOutX", "fInX",      "fErrorChar",   "fNull",
    "fRtsControl", "fAbortOnError", "XonLim",     "XoffLim",      "ByteSize",     "Parity",
    "StopBits",   "XonChar",  "XoffChar",         "ErrorChar",    "EofChar",      "EvtChar",
};

uint32_t Byte(char c) { return static_cast<unsigned char>(c); }

} // namespace

const char* DCBFieldName(unsigned idx)
{
    MY_ASSERT_M(idx < DCB_FIELDS_COUNT, "idx<DCB_FIELDS_COUNT");
    return kFieldNames[idx];
}

uint32_t GetDCBField(const DCB& d, unsigned idx)
{
    switch (idx) {
    case 0: return d.BaudRate;
    case 1: return d.fBinary;
    case 2: return d.fParity;
    case 3: return d.fOutxCtsFlow;
    case 4: return d.fOutxDsrFlow;
    case 5: return d.fDtrControl;
    case 6: return d.fDsrSensitivity;
    case 7: return d.fTXContinueOnXoff;
    case 8: return d.fOutX;
    case 9: return d.fInX;
    case 10: return d.fErrorChar;
    case 11: return d.fNull;
    case 12: return d.fRtsControl;
    case 13: return d.fAbortOnError;
    case 14: return d.XonLim;
    case 15: return d.XoffLim;
    case 16: return d.ByteSize;
    case 17: return d.Parity;
    case 18: return d.StopBits;
    case 19: return Byte(d.XonChar);
    case 20: return Byte(d.XoffChar);
    case 21: return Byte(d.ErrorChar);
    case 22: return Byte(d.EofChar);
    case 23: return Byte(d.EvtChar);
    }
    MY_ASSERT_M(false, "Неверный индекс поля DCB в GetDCBField!");
}

void SetDCBField(uint32_t v, DCB& d, unsigned idx)
{
    const auto bit = [v] { return v & 1u; };
    const auto twoBits = [v] { return v & 3u; };
    const auto byte = [v] { return static_cast<char>(static_cast<uint8_t>(v)); };
    switch (idx) {
    case 0: d.BaudRate = v; return;
    case 1: d.fBinary = bit(); return;
    case 2: d.fParity = bit(); return;
    case 3: d.fOutxCtsFlow = bit(); return;
    case 4: d.fOutxDsrFlow = bit(); return;
    case 5: d.fDtrControl = twoBits(); return;
    case 6: d.fDsrSensitivity = bit(); return;
    case 7: d.fTXContinueOnXoff = bit(); return;
    case 8: d.fOutX = bit(); return;
    case 9: d.fInX = bit(); return;
    case 10: d.fErrorChar = bit(); return;
    case 11: d.fNull = bit(); return;
    case 12: d.fRtsControl = twoBits(); return;
    case 13: d.fAbortOnError = bit(); return;
    case 14: d.XonLim = static_cast<uint16_t>(v); return;
    case 15: d.XoffLim = static_cast<uint16_t>(v); return;
    case 16: d.ByteSize = static_cast<uint8_t>(v); return;
    case 17: d.Parity = static_cast<uint8_t>(v); return;
    case 18: d.StopBits = static_cast<uint8_t>(v); return;
    case 19: d.XonChar = byte(); return;
    case 20: d.XoffChar = byte(); return;
    case 21: d.ErrorChar = byte(); return;
    case 22: d.EofChar = byte(); return;
    case 23: d.EvtChar = byte(); return;
    }
    MY_ASSERT_M(false, "Неверный индекс поля DCB в SetDCBField!");
}

bool DCBDiffers(const DCB& a, const DCB& b)
{
    if (a.DCBlength != b.DCBlength)
        return true;
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i)
        if (GetDCBField(a, i) != GetDCBField(b, i))
            return true;
    return false;
}
