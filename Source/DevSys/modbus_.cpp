#include "DevSys/modbus_.h"

#include "DevSys/TransferManage.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <array>

namespace {

// The instrument's command registers: the code at 32, the BCD argument in
// the two registers after it.
constexpr uint8_t CMD_FIRST_REG_HI = 0x00;
constexpr uint8_t CMD_FIRST_REG_LO = 0x20;
constexpr uint8_t CMD_REG_COUNT = 3;

constexpr uint8_t FN_READ_HOLDING = 0x03;
// The instrument's firmware takes its write command under 0x16, not under
// the standard 0x10 its messages still speak of.
constexpr uint8_t FN_WRITE_COMMAND = 0x16;

struct Answer {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;

    // A stop request ends the exchange without an answer range: that reads
    // as an empty answer, so the length checks fail instead of reading null.
    int Length() const { return begin ? static_cast<int>(end - begin) : 0; }
};

Answer Transfer(uint8_t slave, uint8_t fn, const uint8_t* txdBegin, const uint8_t* txdEnd)
{
    Answer a;
    TransferManagerT::Exchange(slave, fn, txdBegin, txdEnd, &a.begin, &a.end);
    return a;
}

uint8_t HighByte(unsigned v) { return static_cast<uint8_t>(v >> 8); }
uint8_t LowByte(unsigned v) { return static_cast<uint8_t>(v); }

} // namespace

void ModbusCmd3h(uint8_t slave, uint16_t firstReg, int count, const uint8_t** b, const uint8_t** e)
{
    const std::array<uint8_t, 4> txd = {HighByte(firstReg), LowByte(firstReg), HighByte(count),
                                        LowByte(count)};
    // The exception code Exchange returns is of no interest: an exception
    // answer carries one data byte and fails the length check below.
    const Answer rxd = Transfer(slave, FN_READ_HOLDING, txd.data(), txd.data() + txd.size());
    const int len = rxd.Length();
    const int q = 2 * count;
    if (len != q + 1)
        throw PMyExcpt(new MyTreskModbusCmd3hException(
            FILE_LINE, my::Format("Команда 3: длина строки ответа %d, должна быть %d", len, q + 1)));
    if (rxd.begin[0] != q)
        throw PMyExcpt(new MyTreskModbusCmd3hException(
            FILE_LINE, my::Format("Команда 3: длина строки ответа %d, должна быть rxd[0]=%d", len, rxd.begin[0])));
    *b = rxd.begin + 1;
    *e = rxd.end;
}

uint16_t ReadRegisterWord(uint8_t slave, uint16_t reg)
{
    const uint8_t* b = nullptr;
    const uint8_t* e = nullptr;
    ModbusCmd3h(slave, reg, 1, &b, &e);
    return static_cast<uint16_t>(b[0] * 256 + b[1]);
}

void ReadBcdValues(uint8_t slave, uint16_t firstReg, int count, double* out)
{
    const uint8_t* b = nullptr;
    const uint8_t* e = nullptr;
    ModbusCmd3h(slave, firstReg, 2 * count, &b, &e);
    BcdGroupsToDoubles(b, e, out);
}

void ModbusCmd10h(uint8_t slave, uint16_t cmd, const uint8_t* bcd)
{
    // Commands change the instrument: the console always shows them, traffic
    // log or not.
    my::SynchronizedPrint(my::Format("Отправка команды %s\n", CommandText(cmd, bcd).c_str()));

    const std::array<uint8_t, 11> txd = {CMD_FIRST_REG_HI, CMD_FIRST_REG_LO, 0, CMD_REG_COUNT, 2 * CMD_REG_COUNT,
                                         HighByte(cmd),    LowByte(cmd),     bcd[0], bcd[1], bcd[2], bcd[3]};
    const Answer rxd = Transfer(slave, FN_WRITE_COMMAND, txd.data(), txd.data() + txd.size());
    if (slave == 0)
        return; // a broadcast is never answered
    const int len = rxd.Length();
    if (len != 4)
        throw PMyExcpt(new MyTreskModbusCmd10hException(
            FILE_LINE, my::Format("Комманда 16: длина строки ответа %d, должна быть 4", len)));
    if (!std::equal(txd.begin(), txd.begin() + 4, rxd.begin))
        throw PMyExcpt(new MyTreskModbusCmd10hException(FILE_LINE, "Комманда 16: !std::equal(txd, txd+4, rxd)"));
}

void SendCommand(uint8_t slave, uint16_t cmd, double value)
{
    // 999999 and the no-value pattern would reach the instrument as a
    // command without an argument.
    if (!BcdCanCarry(value))
        throw PMyExcpt(new MyTreskModbusCmd10hException(
            FILE_LINE, my::Format("Комманда 16: аргумент %.6f не помещается в шесть цифр", value)));
    uint8_t bcd[4];
    DoubleToBcd(value, bcd);
    ModbusCmd10h(slave, cmd, bcd);
}
