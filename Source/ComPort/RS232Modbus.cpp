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

#include <algorithm>
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

namespace {

const uint8_t kReadRegisters = 0x03;
const uint8_t kCommandWrite = 0x16;
const uint8_t kArchiveRead = 0x41;
const size_t kExceptionAnswerLength = 5;
const size_t kArchiveAnswerLength = 9804; // address, function, 9800 data bytes, CRC
const size_t kCommandAnswerLength = 8;    // the request's first six bytes echoed, CRC
const size_t kLongestRtuFrame = 256;
const unsigned kMostRegistersRead = 125;  // what fits a 256-byte frame

} // namespace

ExpectedAnswer ExpectedAnswerOf(uint8_t commandCode, const uint8_t* dataBegin, const uint8_t* dataEnd)
{
    switch (commandCode) {
    case kReadRegisters:
        if (dataEnd - dataBegin == 4) {
            const unsigned count = static_cast<unsigned>(dataBegin[2] << 8 | dataBegin[3]);
            if (count >= 1 && count <= kMostRegistersRead)
                return {5 + 2 * count, 5 + 2 * count};
        }
        return {0, kExceptionAnswerLength}; // only an exception answer fits such a request
    case kCommandWrite: return {kCommandAnswerLength, kCommandAnswerLength};
    case kArchiveRead: return {kArchiveAnswerLength, kArchiveAnswerLength};
    default: return {0, kLongestRtuFrame};
    }
}

bool IsWholeAnswer(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode,
                   const ExpectedAnswer& expected)
{
    const auto length = static_cast<size_t>(e - b);
    if (expected.longest == kLongestRtuFrame && expected.wholeLength == 0)
        return false; // a function the link does not know: only silence tells
    if (length < kExceptionAnswerLength || b[0] != devAddr)
        return false;
    const bool exception = b[1] == (commandCode | 0x80);
    if (exception ? length != kExceptionAnswerLength : (b[1] != commandCode || length != expected.wholeLength))
        return false;
    return ModbusCRC16(b, e) == 0;
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
const char* const kEndAtLengthKey = "конец_ответа_по_длине";

// How long the wait for the first byte sleeps at most before it asks the
// stop predicate again.
const uint32_t kStopCheckMs = 20;

PortDialogFn portDialog;

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
      logTraffic_(false),
      endAtLength_(true),
      lastAnswerEnd_(AnswerEnd::None),
      lastLatencyMs_(-1),
      progress_(new AnswerProgress)
{
    myIO::AutoQuote trace("RS232ModbusT::RS232ModbusT");
    LoadSettings();
    progress_->SetByteTimeUs(ByteTimeUs());
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
    endAtLength_ = ini.ReadBool(kTransfer, kEndAtLengthKey, true);
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
    ini.WriteBool(kTransfer, kEndAtLengthKey, endAtLength_);
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
    lastAnswerEnd_ = AnswerEnd::None;
    lastLatencyMs_ = -1;
    if (stopRequested_())
        return 0;
    AwaitQuietLineAfterFaultyAnswer();
    // The instrument needs a pause between exchanges. A stop request that
    // ends it sends nothing: a command written now would be carried out by
    // the instrument while its answer is dropped.
    WaitUnlessStopped(static_cast<uint32_t>(writeDelay_));
    if (stopRequested_())
        return 0;

    const auto sendStrLen = dataEnd - dataBegin;
    MY_ASSERT_M(sendStrLen < 10000, "sendStrLen<10000");
    const std::vector<uint8_t> frame = MakeModbusFrame(modbusDeviceAddress, commandCode, dataBegin, dataEnd);
    MY_ASSERT_M(IsModbusStr(frame.data(), frame.data() + frame.size(), modbusDeviceAddress, commandCode),
                "IsModbusStr(txd.begin(), txd.end(), modbusDeviceAddress, commandCode )");
    if (logTraffic_)
        Print("TXD: " + HexDump(frame.data(), frame.data() + frame.size(), "") + "\n");

    const ExpectedAnswer expected = ExpectedAnswerOf(commandCode, dataBegin, dataEnd);
    lineMayBeBusy_ = modbusDeviceAddress != 0;
    tailBoundMs_ = static_cast<uint32_t>(timeOut_) + LineTimeMs(expected.longest);
    Transfer(frame, expected);

    // A command's answer is checked whatever a stop says: it tells whether
    // the instrument carried the command out, and a caller that did not
    // learn it would send it again.
    if (modbusDeviceAddress == 0 || (stopRequested_() && commandCode != kCommandWrite))
        return 0;
    const uint8_t* b = rxd_.data();
    const uint8_t* e = rxd_.data() + rxd_.size();
    ValidateAnswer(b, e, modbusDeviceAddress, commandCode);
    lineMayBeBusy_ = false;
    *answerBegin = b + 2;
    *answerEnd = e - 2;
    if (rxd_.size() == 5 && rxd_[1] == (commandCode | 0x80))
        return rxd_[2];
    return 0;
}

// An answer that failed its checks, stopped or timed out may still be on its
// way: an archive cut off by a stop or by its deadline goes on for seconds.
// A request written into it would be lost and its answer mixed with the
// rest, so the next exchange waits for the line to be quiet for the silence
// time first, throwing away what comes. The wait is no longer than the
// answer before could have lasted, so a line that never falls quiet still
// gets its request and reports its fault. A sound answer costs nothing.
void RS232ModbusT::AwaitQuietLineAfterFaultyAnswer()
{
    if (!lineMayBeBusy_ || !port_.IsOpen())
        return;
    const uint32_t start = my::GetTickCount();
    const uint32_t silence = static_cast<uint32_t>(silentTime_);
    uint32_t quietSince = start;
    uint32_t thrownAway = 0;
    for (;;) {
        if (stopRequested_())
            return; // still owed: the exchange after the stop waits instead
        // Nothing waits to be written yet, so the purge only drops input.
        if (const uint32_t n = port_.ClearError(); n > 0) {
            port_.Purge();
            thrownAway += n;
            quietSince = my::GetTickCount();
        }
        const uint32_t now = my::GetTickCount();
        if (now - quietSince >= silence || now - start >= tailBoundMs_)
            break;
        port_.WaitForInput(std::min({silence - (now - quietSince), tailBoundMs_ - (now - start), kStopCheckMs}));
    }
    lineMayBeBusy_ = false;
    if (logTraffic_ && thrownAway > 0)
        Print(my::Format("Сброшено байт до запроса: %u\n", thrownAway));
}

void RS232ModbusT::Transfer(const std::vector<uint8_t>& frame, const ExpectedAnswer& expected)
{
    Connect();
    port_.Purge();
    rxd_.clear();
    progress_->SetByteTimeUs(ByteTimeUs());
    progress_->Begin(frame[1], expected.wholeLength);
    const int32_t size = static_cast<int32_t>(frame.size());
    const auto now = std::chrono::steady_clock::now();
    lastRequestGapUs_ = answerEndTime_ == std::chrono::steady_clock::time_point{}
                            ? -1
                            : std::chrono::duration_cast<std::chrono::microseconds>(now - answerEndTime_).count();
    const int32_t written = port_.Write(frame.data(), size);
    if (written != size)
        throw PMyExcpt(new MyException(
            FILE_LINE, my::Format("%s: ошибка считывания: %d байт из %d!", port_.Description().c_str(), written, size)));
    if (frame[0] == 0)
        return; // nobody answers a broadcast
    const uint32_t t0 = my::GetTickCount();
    lastAnswerEnd_ = GatherAnswer(expected, frame[0], frame[1]);
    if (!rxd_.empty())
        answerEndTime_ = std::chrono::steady_clock::now();
    if (logTraffic_)
        LogAnswer(my::GetTickCount() - t0, lastAnswerEnd_);
}

// An answer ends as soon as its bytes form the whole frame the request
// expects, else at the first pause of silentTime_ after some bytes came, so
// a frame in pieces with short gaps is still one answer, and a frame that
// fails its CRC is left to the answer checks once the line falls silent.
// The silence wait ends as soon as bytes arrive, so the pause is counted
// from the answer's last byte. An answer that outgrows the largest frame its
// request can produce by a byte cannot become sound by more; it ends there,
// and no answer outlasts the answer timeout plus that frame's line time: a
// line that never falls silent (another master, a babbling device) ends the
// exchange with what came, and the next exchange purges the rest before its
// request. A whole frame that fails its CRC still waits for the silence, so
// that what follows it does not spill into the next exchange.
RS232ModbusT::AnswerEnd RS232ModbusT::GatherAnswer(const ExpectedAnswer& expected, uint8_t devAddr,
                                                   uint8_t commandCode)
{
    const uint32_t start = my::GetTickCount();
    const uint32_t timeOut = static_cast<uint32_t>(timeOut_);
    const uint32_t deadline = timeOut + LineTimeMs(expected.longest);
    const size_t tooLong = expected.longest + 1;
    bool silenceWaited = false; // the last wait lasted the whole silence time
    // Once a command is on the line the instrument carries it out: its answer
    // is awaited to the end, a stop or not.
    const bool stoppable = commandCode != kCommandWrite;
    for (;;) {
        if (stoppable && stopRequested_())
            return AnswerEnd::Stopped;
        const uint32_t n = port_.ClearError();
        const bool cameNow = n > 0;
        if (cameNow) {
            if (rxd_.empty())
                lastLatencyMs_ = static_cast<int32_t>(my::GetTickCount() - start);
            Receive(n, tooLong);
            if (endAtLength_ && IsWholeAnswer(rxd_.data(), rxd_.data() + rxd_.size(), devAddr, commandCode, expected))
                return AnswerEnd::Length;
            if (rxd_.size() >= tooLong)
                return AnswerEnd::Longest;
        } else if (silenceWaited) {
            return AnswerEnd::Silence;
        }
        const uint32_t elapsed = my::GetTickCount() - start;
        if (rxd_.empty()) {
            if (elapsed >= timeOut)
                return AnswerEnd::TimeOut;
            port_.WaitForInput(std::min(timeOut - elapsed, kStopCheckMs));
        } else {
            if (elapsed >= deadline)
                return AnswerEnd::Deadline;
            const uint32_t wait = std::min(deadline - elapsed, static_cast<uint32_t>(silentTime_));
            if (cameNow && SleepThroughRestOfFrame(expected, devAddr, commandCode, std::min(wait, kStopCheckMs))) {
                silenceWaited = false;
                continue;
            }
            silenceWaited = wait == static_cast<uint32_t>(silentTime_);
            port_.WaitForInput(wait);
        }
    }
}

// The rest of a frame of known length comes no faster than the line carries
// it: sleeping through its line time wakes the loop once for the frame, not
// once for each byte. Only bytes that have just come earn a sleep, and it is
// no longer than the silence time, so a pause in the answer is still found:
// a gap in a split answer only waits longer to be called silence, never
// less, and a cut-off frame still ends by silence.
bool RS232ModbusT::SleepThroughRestOfFrame(const ExpectedAnswer& expected, uint8_t devAddr, uint8_t commandCode,
                                           uint32_t atMostMs)
{
    if (!endAtLength_ || rxd_.size() < 2 || rxd_[0] != devAddr)
        return false;
    if (rxd_[1] != commandCode && rxd_[1] != (commandCode | 0x80))
        return false;
    const size_t whole = rxd_[1] == (commandCode | 0x80) ? kExceptionAnswerLength : expected.wholeLength;
    if (whole <= rxd_.size() + 1)
        return false; // one byte or none to come: the input wait wakes at it
    // The last byte is left to the input wait, which wakes as it comes.
    const uint64_t restUs = static_cast<uint64_t>(whole - rxd_.size() - 1) * ByteTimeUs();
    std::this_thread::sleep_for(std::chrono::microseconds(std::min<uint64_t>(restUs, atMostMs * 1000ull)));
    return true;
}

// The one place answer bytes enter the buffer. The progress is a single
// atomic store: whoever shows it looks when it likes, the loop never waits.
void RS232ModbusT::Receive(uint32_t n, size_t limit)
{
    const size_t old = rxd_.size();
    const size_t take = std::min<size_t>(n, limit > old ? limit - old : 0);
    rxd_.resize(old + take);
    const int32_t got = port_.Read(rxd_.data() + old, static_cast<int32_t>(take));
    rxd_.resize(old + static_cast<size_t>(std::max<int32_t>(got, 0)));
    progress_->Received(rxd_.size());
}

// The time the bytes take on the line at the port's rate and framing,
// rounded up.
uint32_t RS232ModbusT::LineTimeMs(size_t bytes) const
{
    const LineFraming f = Framing();
    const uint64_t baud = f.baud;
    return static_cast<uint32_t>((bytes * f.bitsPerChar * 1000 + baud - 1) / baud);
}

uint32_t RS232ModbusT::ByteTimeUs() const
{
    const LineFraming f = Framing();
    const uint64_t baud = f.baud;
    return static_cast<uint32_t>((f.bitsPerChar * 1000000 + baud - 1) / baud);
}

void RS232ModbusT::LogAnswer(uint32_t sinceMs, AnswerEnd end)
{
    Print(my::Format("%d мсек\n", static_cast<int>(sinceMs)));
    if (end == AnswerEnd::TimeOut || end == AnswerEnd::Deadline)
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
        portAdvisor_.OpenFailed(static_cast<unsigned>(port_.PortNumber()), cause);
        WaitUnlessStopped(1000);
        throw PMyExcpt(new MyException(FILE_LINE, "Ошибка при инициализации " + port_.Description(), cause));
    }
    reportState_(2, port_.Description());
    Print("соединение установлено.\n");
    portAdvisor_.Opened(static_cast<unsigned>(port_.PortNumber()), silentTime_);
}

void RS232ModbusT::SetTimings(const LinkTimings& t)
{
    timeOut_ = t.timeOut;
    writeDelay_ = t.writeDelay;
    silentTime_ = t.silentTime;
}

LineFraming RS232ModbusT::Framing() const
{
    const DCB& dcb = port_.Sets().dcb;
    const uint32_t bitsPerChar = 1u + dcb.ByteSize + (dcb.Parity != 0 ? 1u : 0u) + (dcb.StopBits == 0 ? 1u : 2u);
    return {dcb.BaudRate ? static_cast<uint32_t>(dcb.BaudRate) : 9600u, bitsPerChar};
}

PortDialogValues RS232ModbusT::DialogValues() const
{
    PortDialogValues v;
    v.presentPorts = my::Comm::RescanPresentPorts(); // an adapter plugged in since the start
    v.portText = my::Format("COM%d", port_.PortNumber());
    v.timeOut = std::to_string(timeOut_);
    v.writeDelay = std::to_string(writeDelay_);
    v.silentTime = std::to_string(silentTime_);
    return v;
}

void RS232ModbusT::ShowSettingsDialog()
{
    if (!portDialog)
        return;
    PortDialogValues v = DialogValues();
    if (!portDialog(v))
        return;
    ApplyDialogValues(v);
}

void RS232ModbusT::ApplyDialogValues(const PortDialogValues& v)
{
    // The dialog accepts only numbers within the INI ranges.
    timeOut_ = ParseInt(v.timeOut, 10).first;
    writeDelay_ = ParseInt(v.writeDelay, 10).first;
    silentTime_ = ParseInt(v.silentTime, 10).first;
    // The port is not opened here: a port that is busy, forbidden or gone
    // would fail the dialog and leave the polling stopped. The next exchange
    // opens it and a failure takes the usual way (report, pause, retry).
    // Choosing the same port again also reconnects it.
    port_.Close();
    // A settings file that cannot be written costs the remembered settings,
    // not the user's choice: the console tells, the dialog's values stay.
    const auto orReport = [this](const std::function<void()>& step) {
        try {
            step();
        } catch (...) {
            Print(FormatExceptionChain(CurrentExceptionToPMyExcpt(FILE_LINE).get()) + "\n");
        }
    };
    // A port the list could not show leaves it empty: the port stays as it is.
    const std::string& port = v.portText;
    if (port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '9')
        orReport([&] { port_.SetPortNumber(port[3] - '0'); });
    orReport([this] { SaveSettings(); });
}
