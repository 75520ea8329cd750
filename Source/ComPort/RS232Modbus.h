#pragma once

#include "ComPort/CommUtils.h"
#include "DownloadProgress/AnswerProgress.h"
#include "Excpt/MyExeption.h"
#include "PortDoctor/PortDoctor.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace myIO {
class AutoQuote;
}

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

// What a request's answer looks like as far as its function tells:
// wholeLength is the length of a complete normal answer (0: unknown, the
// silence decides; an exception answer of a known function is 5 bytes),
// longest the largest frame the request can produce.
struct ExpectedAnswer {
    size_t wholeLength;
    size_t longest;
};
ExpectedAnswer ExpectedAnswerOf(uint8_t commandCode, const uint8_t* dataBegin, const uint8_t* dataEnd);

// True when b..e is a whole answer to the request: its length (5 for an
// exception answer), the request's address and function and a CRC that
// checks.
bool IsWholeAnswer(const uint8_t* b, const uint8_t* e, uint8_t devAddr, uint8_t commandCode,
                   const ExpectedAnswer& expected);

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

// ---- The link ---------------------------------------------------------------

// What the port settings dialog shows and hands back: the port list's text
// ("COM3") and the texts of the three timing edits.
struct PortDialogValues {
    std::vector<unsigned> presentPorts;
    std::string portText;
    std::string timeOut;
    std::string writeDelay;
    std::string silentTime;
};
// The three timings of the link, in milliseconds.
struct LinkTimings {
    int32_t timeOut;
    int32_t writeDelay;
    int32_t silentTime;
};
inline bool operator==(const LinkTimings& a, const LinkTimings& b)
{
    return a.timeOut == b.timeOut && a.writeDelay == b.writeDelay && a.silentTime == b.silentTime;
}

// The line's rate and the bits one character takes on it (start, data,
// parity, stop).
struct LineFraming {
    uint32_t baud;
    uint32_t bitsPerChar;
};

// Shows the dialog modally with the values; true when the user applied.
typedef std::function<bool(PortDialogValues&)> PortDialogFn;
// The windows layer supplies the dialog; without it the settings cannot be
// changed from the program.
void SetPortSettingsDialog(PortDialogFn fn);

// The Modbus RTU master side of the serial link: one request, at most one
// answer, ended by its length or by the line falling silent. Settings live
// in "comm.ini".
class RS232ModbusT : boost::noncopyable {
public:
    // How the last answer ended.
    enum class AnswerEnd {
        None,     // no answer awaited (broadcast, stop before the write)
        Length,   // its bytes formed the whole frame the request expects
        Silence,  // the line fell silent after some bytes
        Longest,  // it outgrew the largest frame the request can produce
        Deadline, // the answer timeout plus the longest frame's line time ran out
        TimeOut,  // no byte came within the answer timeout
        Stopped,  // a stop request ended the wait
    };

    typedef std::function<bool()> StopRequestedFn;
    typedef std::function<void(int32_t code, const std::string& text)> ReportStateFn;
    // Waits up to ms milliseconds and returns early when a stop is requested.
    typedef std::function<void(uint32_t ms)> StopWaitFn;

    RS232ModbusT();
    ~RS232ModbusT();

    // Sends the request and returns the Modbus exception code of an
    // exception answer, otherwise 0. The answer's data range is set only
    // when an answer was validated; it points into the link's buffer and
    // stays valid until the next exchange.
    int32_t Exchange(uint8_t modbusDeviceAddress, uint8_t commandCode, const uint8_t* dataBegin,
                     const uint8_t* dataEnd, const uint8_t** answerBegin, const uint8_t** answerEnd);
    void ClosePort();
    // Lets the user pick the port and the three timings.
    void ShowSettingsDialog();
    // What the dialog shows: the present ports, the port and the timings.
    PortDialogValues DialogValues() const;
    // What an applied dialog does with its values: the timings and the port
    // are taken, the port is closed for the next exchange to reopen, and
    // "comm.ini" keeps them.
    void ApplyDialogValues(const PortDialogValues& v);
    // The timings in force; SetTimings changes them in memory only.
    LinkTimings Timings() const { return {timeOut_, writeDelay_, silentTime_}; }
    void SetTimings(const LinkTimings& t);
    LineFraming Framing() const;
    void SetStopRequested(StopRequestedFn fn);
    void SetReportState(ReportStateFn fn);
    // Without it the link's pauses sleep in 1 ms slices, asking the stop
    // predicate after each.
    void SetStopWait(StopWaitFn fn);
    AnswerEnd LastAnswerEnd() const { return lastAnswerEnd_; }
    // Milliseconds from the end of the last request to its answer's first
    // byte; negative when no byte came.
    int32_t LastLatencyMs() const { return lastLatencyMs_; }
    // How far the answer on its way has come; any thread may read it while
    // the worker exchanges.
    boost::shared_ptr<const AnswerProgress> Progress() const { return progress_; }
    // Microseconds from the end of the answer before to the last request's
    // write; negative when no answer came before it.
    int64_t LastRequestGapUs() const { return lastRequestGapUs_; }

private:
    void LoadSettings();
    void SaveSettings();
    void Transfer(const std::vector<uint8_t>& frame, const ExpectedAnswer& expected);
    AnswerEnd GatherAnswer(const ExpectedAnswer& expected, uint8_t devAddr, uint8_t commandCode);
    bool SleepThroughRestOfFrame(const ExpectedAnswer& expected, uint8_t devAddr, uint8_t commandCode,
                                 uint32_t atMostMs);
    void AwaitQuietLineAfterFaultyAnswer();
    // Appends up to n waiting bytes, never beyond limit in all.
    void Receive(uint32_t n, size_t limit);
    uint32_t LineTimeMs(size_t bytes) const;
    uint32_t ByteTimeUs() const;
    void LogAnswer(uint32_t sinceMs, AnswerEnd end);
    void Connect();
    void Print(const std::string& text) const;
    // Sleeps in slices of 1 ms, asking the stop predicate each time.
    void WaitUnlessStopped(uint32_t ms) const;

    boost::shared_ptr<myIO::AutoQuote> tracer_;
    StopRequestedFn stopRequested_;
    ReportStateFn reportState_;
    StopWaitFn stopWait_;
    std::vector<uint8_t> rxd_;
    my::Comm::Port port_;
    int32_t writeDelay_;
    int32_t timeOut_;
    int32_t silentTime_;
    bool logTraffic_;
    // Off: every answer ends by silence, whatever its bytes.
    bool endAtLength_;
    AnswerEnd lastAnswerEnd_;
    int32_t lastLatencyMs_;
    int64_t lastRequestGapUs_ = -1;
    std::chrono::steady_clock::time_point answerEndTime_{}; // when the last answer's bytes were in
    // The last answer did not pass its checks, so its sender may still be
    // talking, for at most tailBoundMs_.
    bool lineMayBeBusy_ = false;
    uint32_t tailBoundMs_ = 0;
    my::PortDoctor::PortAdvisor portAdvisor_;
    const boost::shared_ptr<AnswerProgress> progress_;
};
