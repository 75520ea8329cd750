#pragma once

#include "Excpt/MyExeption.h"

#include <cstdint>
#include <string>
#include <vector>

// ---- RTU frames -----------------------------------------------------------
// Request: address, function code, data, CRC low byte, CRC high byte.
// Answer: at least 4 bytes; address, function code (bit 7 set for an
// exception answer), data, CRC.

// CRC-16/MODBUS of the range; a frame carries it low-order byte first, and
// the CRC of a whole frame including its CRC bytes is 0.
uint16_t ModbusCRC16(const uint8_t* b, const uint8_t* e);

std::vector<uint8_t> MakeModbusFrame(uint8_t devAddr, uint8_t commandCode, const uint8_t* dataBegin,
                                     const uint8_t* dataEnd);

bool IsModbusStr(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode);

// Checks an answer in a fixed order and throws the first failed check as
// one of the MyTransfer... exceptions below; address 0 accepts anything.
void ValidateAnswer(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode);

// "[1, 83, 2]": bytes as lower-case hex without leading zeros.
std::string BytesToListText(const uint8_t* b, const uint8_t* e);

// ---- Answer errors ----------------------------------------------------------
// The message is "Прибор <address>: <text>".
class MyTransferException : public MyExternalException {
public:
    MyTransferException(int devAddr, const FileLine& loc, const std::string& text,
                        const PMyExcpt& nested = PMyExcpt());
    std::string TypeName() const override { return "MyTransferException"; }
    int DevAddr() const { return devAddr_; }

private:
    const int devAddr_;
};

#define DECLARE_TRANSFER_EXCEPTION_CLASS(Name, Base)                                                \
    class Name : public Base {                                                                      \
    public:                                                                                         \
        Name(int devAddr, const FileLine& loc, const std::string& text,                             \
             const PMyExcpt& nested = PMyExcpt())                                                   \
            : Base(devAddr, loc, text, nested) {}                                                   \
        std::string TypeName() const override { return #Name; }                                     \
    }

DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferBadAnswerException, MyTransferException);
DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferNoAnswerException, MyTransferBadAnswerException);
DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferAnswerLengthMismatchException, MyTransferBadAnswerException);
DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferAnswerAdressMismatchException, MyTransferBadAnswerException);
DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferAnswerCommandCodeMismatchException, MyTransferBadAnswerException);
DECLARE_TRANSFER_EXCEPTION_CLASS(MyTransferBadCRC16Exception, MyTransferBadAnswerException);
