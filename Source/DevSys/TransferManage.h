#pragma once

#include "ComPort/RS232Modbus.h"
#include "DevSys/TaskList.h"
#include "VCLUtils/VCLSignal.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

class AnswerProgress;

// One exchange as the windows see it: raised before the request (begin) and
// after it (done). The worker posts it and goes on; it reaches the handlers
// in order with the state reports. The byte ranges are valid only while the
// handlers run.
struct TransmitionItemTag {
    uint32_t slave;
    uint32_t cmd;
    const uint8_t* txdBegin;
    const uint8_t* txdEnd;
    const uint8_t* rxdBegin; // null unless a validated answer is there
    const uint8_t* rxdEnd;
    bool begin;
    bool done;
    bool error; // no valid answer
};

// Engine state codes: 0 task begins, 1 task done, 2 port connecting, 3 error,
// 4 worker started, 5 worker stopped.
typedef my::VCLSignal::Signal<void(unsigned, const std::string&)> TReportStateSignal;
typedef my::VCLSignal::Signal<void(const TransmitionItemTag&)> TNotifyTransmitionSignal;

// The polling engine: the Modbus link, the task list and the worker thread
// that runs the tasks one turn after another. One per process; every
// operation but Exchange belongs to the main thread.
class TransferManagerT : boost::noncopyable {
public:
    // The engine; the first call creates it (on the main thread).
    static TransferManagerT& Instance();
    // Deletes the engine at shutdown, after StopThread(); a later Instance()
    // creates a new one. Writes the engine's and the link's settings.
    static void DeleteInstance();
    static bool Exists();

    // Takes ownership. append: behind all queued work, else before all of it.
    // Does not start the worker.
    void AddTask(MyAbstructTransfer* task, bool append);
    void StartThread();
    // Returns when the worker has ended; shows the wait window meanwhile.
    void StopThread();
    bool IsThreadRunning() const;
    // The port settings dialog, with the worker paused around it.
    void ConfigurePort();

    // The port dialog's accepted path with the given timings and the port
    // in use, the worker paused around it: the link takes them and
    // "comm.ini" keeps them.
    void ApplyTimings(const LinkTimings& timings);

    template <class T, class Method>
    TReportStateSignal::Connection ConnectReportState(T& obj, Method method)
    {
        return ReportStateSignal().Connect(obj, method);
    }
    template <class T, class Method>
    TNotifyTransmitionSignal::Connection ConnectNotifyTransmition(T& obj, Method method)
    {
        return NotifyTransmitionSignal().Connect(obj, method);
    }

    TaskList& Tasks();
    // How far the link's answer on its way has come; read it on any thread.
    boost::shared_ptr<const AnswerProgress> LinkProgress() const;

    // Worker, inside a task's DoTransfer(): one exchange on the link, with the
    // begin and done notifications. Returns the link's result (the Modbus
    // exception code or 0); the answer range points into the link's buffer.
    static int32_t Exchange(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin, const uint8_t* txdEnd,
                            const uint8_t** rxdBegin, const uint8_t** rxdEnd);

    // Worker: a task gives up an exchange whose answers were all faulty; the
    // windows see it as a done notification without an answer.
    static void NotifyUnanswered(uint8_t slave, uint8_t cmd, const uint8_t* txdBegin, const uint8_t* txdEnd);

    // Worker: the worker has been asked to end. Tasks that wait or report on
    // their own use it, so that a stop neither waits for them nor shows
    // errors it caused.
    static bool StopRequested();

    // Worker, inside a task's DoTransfer(): the link's timings, to be tried
    // for a while (in memory only), and how its last answer came.
    static LinkTimings Timings();
    static void UseTimings(const LinkTimings& timings);
    static LineFraming Framing();
    static int32_t LastLatencyMs();
    static int64_t LastRequestGapUs();

    class Impl;

private:
    TransferManagerT();
    ~TransferManagerT();

    TReportStateSignal& ReportStateSignal();
    TNotifyTransmitionSignal& NotifyTransmitionSignal();

    boost::shared_ptr<Impl> impl_;
};
