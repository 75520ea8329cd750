#pragma once

#include "TestUtils.h"

#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The engine tests' world: one program folder (this executable's), COM1
// mapped to a fixed link path that the simulator or a scripted instrument
// points at a pseudo-terminal of its own.
namespace engine_test {

typedef std::vector<uint8_t> Bytes;

// The path COM1 is mapped to.
const std::string& LinePath();
// Called once by main, before anything builds the present-port list.
void SetUpWorld();

// Runs the main thread's event loop until cond() is true; false when the
// deadline passed first. Deadlines only guard against hangs.
bool PumpUntil(const std::function<bool()>& cond, double seconds = 15);
void PumpFor(int ms);

// kalist8-sim serving LinePath(), with a control socket.
class SimLine {
public:
    explicit SimLine(const std::vector<std::string>& extraArgs = {});
    ~SimLine();
    // A control command; fails the test unless the reply starts with "ok".
    std::string Command(const std::string& command);
    sim::SimProcess& Process() { return *process_; }

private:
    TempDir dir_;
    std::string control_;
    std::unique_ptr<sim::SimProcess> process_;
};

// A test playing the instrument: a pseudo-terminal behind LinePath() whose
// requests (one frame = bytes until 5 ms of silence) are answered with what
// answer() returns (nothing: no answer). Runs on a thread of its own.
class ScriptedInstrument {
public:
    typedef std::function<Bytes(const Bytes& request)> AnswerFn;
    explicit ScriptedInstrument(AnswerFn answer);
    ~ScriptedInstrument();
    std::vector<Bytes> Requests() const;

private:
    void Serve();

    AnswerFn answer_;
    int master_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

// A frame with its CRC appended, as an instrument sends it.
Bytes WithCrc(Bytes frame);

// The engine's two signals, recorded. Tags are copied with their byte ranges.
struct Recorded {
    struct Item {
        uint32_t slave, cmd;
        Bytes txd, rxd;
        bool rxdSet, begin, done, error;
    };
    std::vector<std::pair<unsigned, std::string>> states;
    std::vector<Item> items;
    // Both as the windows saw them, in one line: "0 T1", "begin", "done",
    // "done error"; the link's connect texts (code 2) are left out, their
    // moment depends on when the port happens to be opened.
    std::vector<std::string> seen;

    void OnReportState(unsigned code, const std::string& text);
    void OnNotifyTransmition(const TransmitionItemTag& tag);
    std::vector<unsigned> Codes() const;
    size_t CountCode(unsigned code) const;
    size_t CountDone() const;
};

// The main window as the tasks see it.
class FakeWindow : public DevTask::DeviceWindow {
public:
    std::atomic<int32_t> address{1};
    std::vector<std::pair<unsigned, double>> values;
    std::vector<ModbusChanals> chanalLists;
    std::vector<Bytes> archives;

    int32_t Address() const override { return address; }
    void UpdateChanalValue(unsigned nChanal, double value) override { values.emplace_back(nChanal, value); }
    void UpdateChanals(const ModbusChanals& chanals) override { chanalLists.push_back(chanals); }
    void SaveArchive(const uint8_t* b, const uint8_t* e) override { archives.emplace_back(b, e); }
};

// Everything the console received since the fixture started.
std::string ConsoleText();

// A fresh engine per test, with both signals recorded, the console captured
// and a fake main window installed. comm.ini and config.ini start absent
// unless a test writes them before calling Engine().
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Created on first use, so a test can prepare the INI files first.
    TransferManagerT& Engine();
    // Stops the worker and deletes the engine (it writes its settings).
    void DeleteEngine();
    bool WaitIdle(double seconds = 15);

    Recorded rec_;
    FakeWindow window_;

private:
    TReportStateSignal::Connection stateConnection_;
    TNotifyTransmitionSignal::Connection notifyConnection_;
};

} // namespace engine_test
