#include "ComPort/RS232Modbus.h"

#include "Application/ConsolePrint.h"
#include "Excpt/MyAssert.h"
#include "ProgramFiles.h"
#include "VCLUtils/AutoQuote.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/TickCount.h"
#include "VCLUtils/iniUtils_.h"

#include <chrono>
#include <thread>

namespace {

// The lookup tables of the Modbus serial line specification, one for each
// CRC byte.
const uint8_t auchCRCHi[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
};

const uint8_t auchCRCLo[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2, 0xC6, 0x06, 0x07, 0xC7, 0x05, 0xC5, 0xC4, 0x04,
    0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E, 0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8,
    0xD8, 0x18, 0x19, 0xD9, 0x1B, 0xDB, 0xDA, 0x1A, 0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6, 0xD2, 0x12, 0x13, 0xD3, 0x11, 0xD1, 0xD0, 0x10,
    0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32, 0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4,
    0x3C, 0xFC, 0xFD, 0x3D, 0xFF, 0x3F, 0x3E, 0xFE, 0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA, 0xEE, 0x2E, 0x2F, 0xEF, 0x2D, 0xED, 0xEC, 0x2C,
    0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26, 0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0,
    0xA0, 0x60, 0x61, 0xA1, 0x63, 0xA3, 0xA2, 0x62, 0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE, 0xAA, 0x6A, 0x6B, 0xAB, 0x69, 0xA9, 0xA8, 0x68,
    0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA, 0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C,
    0xB4, 0x74, 0x75, 0xB5, 0x77, 0xB7, 0xB6, 0x76, 0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92, 0x96, 0x56, 0x57, 0x97, 0x55, 0x95, 0x94, 0x54,
    0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E, 0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98,
    0x88, 0x48, 0x49, 0x89, 0x4B, 0x8B, 0x8A, 0x4A, 0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86, 0x82, 0x42, 0x43, 0x83, 0x41, 0x81, 0x80, 0x40,
};

} // namespace

uint16_t ModbusCRC16(const uint8_t* b, const uint8_t* e)
{
    uint8_t crcHi = 0xFF;
    uint8_t crcLo = 0xFF;
    for (; b != e; ++b) {
        const uint8_t idx = crcLo ^ *b;
        crcLo = crcHi ^ auchCRCHi[idx];
        crcHi = auchCRCLo[idx];
    }
    return static_cast<uint16_t>(crcHi << 8 | crcLo);
}

std::vector<uint8_t> MakeModbusFrame(uint8_t devAddr, uint8_t commandCode, const uint8_t* dataBegin,
                                     const uint8_t* dataEnd)
{
    std::vector<uint8_t> frame;
    frame.reserve(static_cast<size_t>(dataEnd - dataBegin) + 4);
    frame.push_back(devAddr);
    frame.push_back(commandCode);
    frame.insert(frame.end(), dataBegin, dataEnd);
    const uint16_t crc = ModbusCRC16(frame.data(), frame.data() + frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

bool IsModbusStr(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode)
{
    return e - b >= 4 && b[0] == devAddr && (b[1] == commandCode || b[1] == (commandCode | 0x80)) &&
           ModbusCRC16(b, e) == 0;
}

void ValidateAnswer(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode)
{
    if (devAddr == 0)
        return;
    const auto rxdLen = e - b;
    MY_ASSERT_M(rxdLen >= 0, "rxdLen>=0");
    if (rxdLen == 0)
        throw PMyExcpt(new MyTransferNoAnswerException(devAddr, FILE_LINE, "не отвечает"));
    if (rxdLen < 4)
        throw PMyExcpt(new MyTransferAnswerLengthMismatchException(
            devAddr, FILE_LINE,
            my::Format("длина принятой строки %s равна %d, должна быть не менее 4.",
                       BytesToListText(b, e).c_str(), static_cast<int>(rxdLen))));
    if (b[0] != devAddr)
        throw PMyExcpt(new MyTransferAnswerAdressMismatchException(
            devAddr, FILE_LINE,
            my::Format("несовпадение адрессов посылки $%s и принятой строки $%s",
                       my::Format("%02X", devAddr).c_str(), my::Format("%02X", b[0]).c_str())));
    if (b[1] != commandCode && b[1] != (commandCode | 0x80))
        throw PMyExcpt(new MyTransferAnswerCommandCodeMismatchException(devAddr, FILE_LINE,
                                                                        "несовпадение кодов комманд"));
    if (ModbusCRC16(b, e) != 0)
        throw PMyExcpt(new MyTransferBadCRC16Exception(devAddr, FILE_LINE,
                                                       "ненулевая контрольная сумма принятой строки"));
    MY_ASSERT_M(IsModbusStr(b, e, devAddr, commandCode), "IsModbusStr(b, e, devAddr, commandCode )");
}

std::string BytesToListText(const uint8_t* b, const uint8_t* e)
{
    std::string text = "[";
    for (const uint8_t* p = b; p != e; ++p) {
        if (p != b)
            text += ", ";
        text += my::Format("%x", *p);
    }
    return text + "]";
}

MyTransferException::MyTransferException(int devAddr, const FileLine& loc, const std::string& text,
                                         const PMyExcpt& nested)
    : MyExternalException(loc, my::Format("Прибор %d: %s", devAddr, text.c_str()), nested), devAddr_(devAddr)
{
}

// ---- The link ---------------------------------------------------------------

namespace {

const char* const kComport = "COMPORT";
const char* const kTransfer = "Трансфер";
const char* const kPortKey = "Порт";
const char* const kWriteDelayKey = "Задержка_записи_мсек";
const char* const kTimeOutKey = "таймаут_ожидания_ответа_мсек";
const char* const kSilentTimeKey = "длительность_ожидания_символа_приёма_мсек";
const char* const kLogKey = "лагать";

PortDialogFn portDialog;

// No answer of the instrument is longer than the archive's (address,
// function, 9800 bytes, CRC). An answer is read up to twice that, so that
// one of a wrong size is still reported as such; a line that goes on talking
// past that is noise or another device, and the answer ends there instead of
// never.
constexpr size_t kAnswerLimit = 2 * (2 + 9800 + 2);

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

void SetPortSettingsDialog(PortDialogFn fn) { portDialog = std::move(fn); }

RS232ModbusT::RS232ModbusT()
    : tracer_(new myIO::AutoQuote("RS232ModbusT.[members]")),
      stopRequested_([] { return false; }),
      reportState_([](int32_t, const std::string&) {}),
      writeDelay_(50),
      timeOut_(1000),
      silentTime_(10),
      logTraffic_(false)
{
    myIO::AutoQuote trace("RS232ModbusT::RS232ModbusT");
    LoadSettings();
}

RS232ModbusT::~RS232ModbusT()
{
    myIO::AutoQuote trace("RS232ModbusT::~RS232ModbusT");
    try {
        SaveSettings();
    } catch (...) {
        // A settings file that cannot be written must not end the program
        // on its way out; say so in the log.
        ConsolePrint(FormatExceptionChain(CurrentExceptionToPMyExcpt(FILE_LINE).get()) + "\n");
    }
}

void RS232ModbusT::LoadSettings()
{
    const my::IniFile& ini = GetCommIni();
    port_.SetPortNumber(ReadIntInRange(ini, kComport, kPortKey, 1, 9, 1));
    my::Comm::PortSetsT sets = port_.Sets();
    my::Comm::ReadPortSets(sets, ini, kComport);
    sets.dcb.BaudRate = 9600;
    port_.SetSets(sets);
    writeDelay_ = ReadIntInRange(ini, kTransfer, kWriteDelayKey, 0, 200000, 50);
    timeOut_ = ReadIntInRange(ini, kTransfer, kTimeOutKey, 100, 500000, 1000);
    silentTime_ = ReadIntInRange(ini, kTransfer, kSilentTimeKey, 5, 100000, 10);
    logTraffic_ = ini.ReadBool(kTransfer, kLogKey, false);
}

void RS232ModbusT::SaveSettings()
{
    my::IniFile& ini = GetCommIni();
    my::Comm::WritePortSets(port_.Sets(), ini, kComport);
    ini.WriteInteger(kTransfer, kTimeOutKey, timeOut_);
    ini.WriteInteger(kTransfer, kSilentTimeKey, silentTime_);
    ini.WriteInteger(kTransfer, kWriteDelayKey, writeDelay_);
    ini.WriteInteger(kComport, kPortKey, port_.PortNumber());
    ini.WriteBool(kTransfer, kLogKey, logTraffic_);
}

void RS232ModbusT::SetStopRequested(StopRequestedFn fn) { stopRequested_ = std::move(fn); }
void RS232ModbusT::SetReportState(ReportStateFn fn) { reportState_ = std::move(fn); }
void RS232ModbusT::SetStopWait(StopWaitFn fn) { stopWait_ = std::move(fn); }
void RS232ModbusT::ClosePort() { port_.Close(); }
void RS232ModbusT::Print(const std::string& text) const { my::SynchronizedPrint(text); }

void RS232ModbusT::WaitUnlessStopped(uint32_t ms) const
{
    if (stopWait_) {
        stopWait_(ms);
        return;
    }
    const uint32_t t0 = my::GetTickCount();
    while (!stopRequested_()) {
        const uint32_t elapsed = my::GetTickCount() - t0;
        if (elapsed >= ms)
            return;
        SleepMs(1);
    }
}

int32_t RS232ModbusT::Exchange(uint8_t modbusDeviceAddress, uint8_t commandCode, const uint8_t* dataBegin,
                               const uint8_t* dataEnd, const uint8_t** answerBegin, const uint8_t** answerEnd)
{
    if (stopRequested_())
        return 0;
    // The instrument needs a pause between exchanges; a stop request ends
    // it early and the read loop below then stops at once.
    WaitUnlessStopped(static_cast<uint32_t>(writeDelay_));

    const auto sendStrLen = dataEnd - dataBegin;
    MY_ASSERT_M(sendStrLen < 10000, "sendStrLen<10000");
    const std::vector<uint8_t> frame = MakeModbusFrame(modbusDeviceAddress, commandCode, dataBegin, dataEnd);
    MY_ASSERT_M(IsModbusStr(frame.data(), frame.data() + frame.size(), modbusDeviceAddress, commandCode),
                "IsModbusStr(txd.begin(), txd.end(), modbusDeviceAddress, commandCode )");
    if (logTraffic_)
        Print("TXD: " + HexDump(frame.data(), frame.data() + frame.size(), "") + "\n");

    Transfer(frame);

    if (stopRequested_() || modbusDeviceAddress == 0)
        return 0;
    const uint8_t* b = rxd_.data();
    const uint8_t* e = rxd_.data() + rxd_.size();
    ValidateAnswer(b, e, modbusDeviceAddress, commandCode);
    *answerBegin = b + 2;
    *answerEnd = e - 2;
    if (rxd_.size() == 5 && rxd_[1] == (commandCode | 0x80))
        return rxd_[2];
    return 0;
}

void RS232ModbusT::Transfer(const std::vector<uint8_t>& frame)
{
    Connect();
    port_.Purge();
    rxd_.clear();
    const int32_t size = static_cast<int32_t>(frame.size());
    const int32_t written = port_.Write(frame.data(), size);
    if (written != size)
        throw PMyExcpt(new MyException(
            FILE_LINE, my::Format("%s: ошибка считывания: %d байт из %d!", port_.Description().c_str(), written, size)));
    if (frame[0] == 0)
        return; // nobody answers a broadcast
    GatherAnswer();
}

// An answer ends at the first pause of silentTime_ after some bytes came, or
// once it is twice as long as the longest answer; every piece restarts the answer
// timeout. Both waits end as soon as bytes
// arrive, so the pause is counted from the answer's last byte: a plain sleep
// after each read would count it from the read, and an answer arriving over
// a few milliseconds would then end up to twice silentTime_ after its last
// byte.
void RS232ModbusT::GatherAnswer()
{
    uint32_t t0 = my::GetTickCount();
    for (;;) {
        if (stopRequested_())
            break;
        if (my::GetTickCount() - t0 >= static_cast<uint32_t>(timeOut_))
            break;
        const uint32_t n = port_.ClearError();
        if (n == 0) {
            port_.WaitForInput(1);
            continue;
        }
        const size_t old = rxd_.size();
        rxd_.resize(old + n);
        port_.Read(rxd_.data() + old, static_cast<int32_t>(n));
        if (rxd_.size() >= kAnswerLimit)
            break;
        port_.WaitForInput(static_cast<uint32_t>(silentTime_));
        if (port_.ClearError() == 0)
            break;
        t0 = my::GetTickCount();
    }
    if (logTraffic_)
        LogAnswer(my::GetTickCount() - t0);
}

void RS232ModbusT::LogAnswer(uint32_t sinceMs)
{
    Print(my::Format("%d мсек\n", static_cast<int>(sinceMs)));
    if (sinceMs >= static_cast<uint32_t>(timeOut_))
        Print("!!ТАЙМАУТ!!\n");
    if (rxd_.empty())
        Print("Нет ответа!\n");
    else
        Print("RXD: " + HexDump(rxd_.data(), rxd_.data() + rxd_.size(), "") + "\n");
}

void RS232ModbusT::Connect()
{
    if (port_.IsOpen())
        return;
    const std::string text = my::Format("Соединение с \"%s\"....\n", port_.Description().c_str());
    reportState_(2, text);
    Print(text);
    try {
        port_.Open();
    } catch (...) {
        const PMyExcpt cause = CurrentExceptionToPMyExcpt(FILE_LINE);
        WaitUnlessStopped(1000);
        throw PMyExcpt(new MyException(FILE_LINE, "Ошибка при инициализации " + port_.Description(), cause));
    }
    reportState_(2, port_.Description());
    Print("соединение установлено.\n");
}

void RS232ModbusT::ShowSettingsDialog()
{
    if (!portDialog)
        return;
    PortDialogValues v;
    v.presentPorts = my::Comm::PresentPorts();
    v.portText = my::Format("COM%d", port_.PortNumber());
    v.timeOut = std::to_string(timeOut_);
    v.writeDelay = std::to_string(writeDelay_);
    v.silentTime = std::to_string(silentTime_);
    if (!portDialog(v))
        return;
    port_.SetPortNumber(v.portText.size() == 4 ? v.portText[3] - '0' : 1);
    // The dialog accepts only numbers within the INI ranges.
    timeOut_ = ParseInt(v.timeOut, 10).first;
    writeDelay_ = ParseInt(v.writeDelay, 10).first;
    silentTime_ = ParseInt(v.silentTime, 10).first;
}
