#include "EngineTestSupport.h"

#include "ComPort/RS232Modbus.h"
#include "ComPort/SerialLine.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace engine_test;

namespace {

typedef std::chrono::steady_clock Clock;

// What the probe tasks did, in order, from both threads.
class Journal {
public:
    void Add(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        times_.push_back(Clock::now());
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // The events that start with prefix, without it.
    std::vector<std::string> With(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& e : Events())
            if (e.rfind(prefix, 0) == 0)
                out.push_back(e.substr(prefix.size()));
        return out;
    }
    size_t Count(const std::string& event) const
    {
        const auto events = Events();
        return static_cast<size_t>(std::count(events.begin(), events.end(), event));
    }
    // Milliseconds between the first two occurrences of event.
    double FirstGapMs(const std::string& event) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Clock::time_point> at;
        for (size_t i = 0; i < events_.size(); ++i)
            if (events_[i] == event)
                at.push_back(times_[i]);
        return at.size() < 2 ? -1 : std::chrono::duration<double, std::milli>(at[1] - at[0]).count();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<Clock::time_point> times_;
};

const Bytes ReadMask = {0x00, 0x34, 0x00, 0x01};

// A task that reads the channel mask of instrument 1 and writes its steps
// into the journal.
class Probe : public MyAbstructTransfer {
public:
    struct Options {
        bool keep = false;
        bool before = true;
        bool exchange = true;
        std::function<void()> afterHook;

        Options& Kept() { keep = true; return *this; }
        Options& Declining() { before = false; return *this; }
        Options& Local() { exchange = false; return *this; }
        Options& Then(std::function<void()> hook) { afterHook = std::move(hook); return *this; }
    };
    Probe(Journal& journal, std::string name, Options options)
        : journal_(journal), name_(std::move(name)), options_(std::move(options))
    {
    }
    bool BeforeTransfer() override
    {
        journal_.Add("before " + name_);
        return options_.before;
    }
    void DoTransfer() override
    {
        journal_.Add("do " + name_);
        journal_.Add("priority " + std::to_string(QThread::currentThread()->priority()));
        if (!options_.exchange)
            return;
        const uint8_t* b = nullptr;
        const uint8_t* e = nullptr;
        TransferManagerT::Exchange(1, 3, ReadMask.data(), ReadMask.data() + ReadMask.size(), &b, &e);
    }
    bool AfterTransfer() override
    {
        journal_.Add("after " + name_);
        if (options_.afterHook)
            options_.afterHook();
        return options_.keep;
    }
    std::string Description() const override { return name_; }

private:
    Journal& journal_;
    const std::string name_;
    const Options options_;
};

// State reports without the link's connect texts (code 2), which depend on
// when the port happens to be opened.
std::vector<std::pair<unsigned, std::string>> WithoutConnect(const Recorded& rec)
{
    std::vector<std::pair<unsigned, std::string>> out;
    for (const auto& s : rec.states)
        if (s.first != 2)
            out.push_back(s);
    return out;
}

typedef std::vector<std::pair<unsigned, std::string>> States;

class ManagerTest : public EngineTest {
protected:
    void Add(const std::string& name, Probe::Options options, bool append = true)
    {
        Engine().AddTask(new Probe(journal_, name, std::move(options)), append);
    }
    Journal journal_;
};

} // namespace

TEST_F(ManagerTest, StartWithNothingQueuedStartsAndStopsAtOnce)
{
    Engine().StartThread();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rec_.states, (States{{4, "Опрос: старт"}, {5, "Опрос остановлен"}}));
    EXPECT_NE(ConsoleText().find("Опрос остановлен.\n"), std::string::npos);
    EXPECT_TRUE(rec_.items.empty());
}

TEST_F(ManagerTest, OneTurnAsTheWindowsSeeIt)
{
    SimLine sim({"--mask", "0x0005"});
    Add("T1", {});
    Engine().StartThread();
    ASSERT_TRUE(WaitIdle());

    EXPECT_EQ(WithoutConnect(rec_), (States{{4, "Опрос: старт"}, {0, "T1"}, {1, "T1"}, {5, "Опрос остановлен"}}));
    EXPECT_GE(rec_.CountCode(2), 1u) << "the port was opened";
    EXPECT_EQ(journal_.With(""), (std::vector<std::string>{"before T1", "do T1", "priority 1", "after T1"}));
    ASSERT_EQ(rec_.items.size(), 2u);
    const auto& begin = rec_.items[0];
    const auto& done = rec_.items[1];
    EXPECT_TRUE(begin.begin && !begin.done && begin.error && !begin.rxdSet);
    EXPECT_TRUE(!done.begin && done.done && !done.error && done.rxdSet);
    EXPECT_EQ(begin.slave, 1u);
    EXPECT_EQ(begin.cmd, 3u);
    EXPECT_EQ(begin.txd, ReadMask);
    EXPECT_EQ(done.rxd, (Bytes{0x02, 0x00, 0x05}));
}

// The worker does not wait for the windows to look at an exchange; they
// still see every turn's reports and exchanges in the order they happened,
// a failure's included.
TEST_F(ManagerTest, WindowsSeeReportsAndExchangesInTheOrderOfTheTurns)
{
    SimLine sim({"--fault", "silent"});
    Add("T1", Probe::Options().Kept());
    Add("T2", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(3) == 1; }));
    sim.Command("fault none");
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") >= 2; }));
    Engine().StopThread();

    const auto failure = std::find_if(rec_.states.begin(), rec_.states.end(), [](auto& s) { return s.first == 3; });
    const std::vector<std::string> expected = {
        "4 Опрос: старт", "0 T1", "begin", "done error", "3 " + failure->second,
        "0 T1", "begin", "done", "1 T1",
        "0 T2", "begin", "done", "1 T2",
        "0 T1", "begin", "done", "1 T1"};
    ASSERT_GE(rec_.seen.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(rec_.seen.begin(), rec_.seen.begin() + expected.size()), expected);
    EXPECT_EQ(rec_.seen.back(), "5 Опрос остановлен");
}

TEST_F(ManagerTest, KeptTasksRotateAndAFrontAdditionIsTakenNext)
{
    SimLine sim;
    bool added = false;
    Add("T1", Probe::Options().Kept().Then([&] {
        if (!added)
            Engine().AddTask(new Probe(journal_, "F", {}), false);
        added = true;
    }));
    Add("T2", Probe::Options().Kept());
    Add("T3", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.With("after ").size() >= 7; }));
    Engine().StopThread();

    const std::vector<std::string> done = journal_.With("after ");
    EXPECT_EQ(std::vector<std::string>(done.begin(), done.begin() + 7),
              (std::vector<std::string>{"T1", "F", "T2", "T3", "T1", "T2", "T3"}));
    // Every finished turn had its begin and end reports; the stop may have
    // cut one more turn short after its begin.
    EXPECT_EQ(rec_.CountCode(1), done.size());
    EXPECT_LE(rec_.CountCode(0) - rec_.CountCode(1), 1u);
}

TEST_F(ManagerTest, TaskThatDeclinesIsDroppedWithoutAnyReport)
{
    SimLine sim;
    Add("D", Probe::Options().Declining());
    Add("T", {});
    Engine().StartThread();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(journal_.With(""), (std::vector<std::string>{"before D", "before T", "do T", "priority 1", "after T"}));
    EXPECT_EQ(WithoutConnect(rec_), (States{{4, "Опрос: старт"}, {0, "T"}, {1, "T"}, {5, "Опрос остановлен"}}));
    EXPECT_EQ(rec_.items.size(), 2u);
}

TEST_F(ManagerTest, TaskAddedByTheLastTaskRunsInTheSameRun)
{
    SimLine sim;
    Add("T1", Probe::Options().Local().Then([&] {
        Engine().AddTask(new Probe(journal_, "T2", Probe::Options().Local()), true);
    }));
    Engine().StartThread();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(journal_.With("after "), (std::vector<std::string>{"T1", "T2"}));
    EXPECT_EQ(rec_.CountCode(4), 1u);
    EXPECT_EQ(rec_.CountCode(5), 1u);
}

TEST_F(ManagerTest, SilentInstrumentIsReportedAndRetriedAfterAPauseWhileOthersWait)
{
    SimLine sim({"--fault", "silent"});
    Add("T1", Probe::Options().Kept());
    Add("T2", {});
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("do T1") >= 2; }));

    ASSERT_GE(rec_.items.size(), 2u);
    EXPECT_TRUE(rec_.items[0].begin && rec_.items[0].error);
    EXPECT_TRUE(rec_.items[1].done && rec_.items[1].error && !rec_.items[1].rxdSet);
    ASSERT_GE(rec_.CountCode(3), 1u);
    const auto failure = std::find_if(rec_.states.begin(), rec_.states.end(), [](auto& s) { return s.first == 3; });
    EXPECT_NE(ConsoleText().find("Ошибка - " + failure->second + "\n"), std::string::npos) << ConsoleText();
    EXPECT_NE(failure->second.find("не отвечает"), std::string::npos) << failure->second;
    EXPECT_EQ(journal_.Count("before T1"), 2u) << "a retry starts from BeforeTransfer()";
    EXPECT_EQ(journal_.Count("do T2"), 0u);
    // Answer timeout and pause: the retry cannot come sooner.
    EXPECT_GE(journal_.FirstGapMs("do T1"), 1900);

    sim.Command("fault none");
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T2") == 1; }));
    Engine().StopThread();
    EXPECT_EQ(rec_.states.back(), (std::pair<unsigned, std::string>{5, "Опрос остановлен"}));
}

TEST_F(ManagerTest, DroppedLineClosesThePortAndTheNextTurnReconnects)
{
    SimLine sim;
    Add("T1", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") >= 2; }));
    const size_t connects = rec_.CountCode(2);

    sim.Command("drop 300");
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(3) >= 1; }));
    const size_t failedAt = journal_.Count("after T1");
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") > failedAt + 1; }));
    Engine().StopThread();

    EXPECT_GT(rec_.CountCode(2), connects) << "reconnected with the connect texts";
    EXPECT_NE(ConsoleText().find("Ошибка - "), std::string::npos);
    EXPECT_TRUE(Engine().Tasks().IsEmpty() == false);
}

TEST_F(ManagerTest, StopDuringAnExchangeShowsNoErrorAndKeepsTheTaskAtTheHead)
{
    SimLine sim({"--fault", "silent"});
    Add("T1", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return !rec_.items.empty(); }));
    Engine().StopThread();

    EXPECT_EQ(rec_.CountCode(3), 0u);
    EXPECT_EQ(ConsoleText().find("Ошибка - "), std::string::npos);
    EXPECT_EQ(journal_.Count("after T1"), 0u);
    EXPECT_EQ(rec_.states.back().first, 5u);

    sim.Command("fault none");
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") == 1; }));
    Engine().StopThread();
    const std::vector<std::string> events = journal_.With("");
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 7),
              (std::vector<std::string>{"before T1", "do T1", "priority 1", "before T1", "do T1", "priority 1",
                                        "after T1"}));
}

TEST_F(ManagerTest, WorkerPriorityComesFromConfigIniAndIsWrittenBack)
{
    const struct {
        const char* stored;
        const char* applied;
        int written;
    } cases[] = {{"4", "priority 4", 4}, {nullptr, "priority 1", 1}, {"9", "priority 1", 1}, {"-2", "priority 1", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "absent");
        std::remove((GetExeDir() + "config.ini").c_str());
        if (c.stored)
            my::IniFile(GetExeDir() + "config.ini").WriteString("Трансфер", "приоритет_второго_потока", c.stored);
        Journal journal;
        Engine().AddTask(new Probe(journal, "P", Probe::Options().Local()), true);
        Engine().StartThread();
        ASSERT_TRUE(WaitIdle());
        Engine().StopThread();
        EXPECT_EQ(journal.With("priority").size(), 1u);
        EXPECT_EQ(journal.Events().at(2), c.applied);
        DeleteEngine();
        EXPECT_EQ(my::IniFile(GetExeDir() + "config.ini").ReadInteger("Трансфер", "приоритет_второго_потока", -1),
                  c.written);
    }
}

TEST_F(ManagerTest, PortSettingsDialogRunsWithTheWorkerPaused)
{
    std::vector<bool> runningDuringDialog;
    SetPortSettingsDialog([&](PortDialogValues&) {
        runningDuringDialog.push_back(TransferManagerT::Instance().IsThreadRunning());
        return false;
    });

    Engine().ConfigurePort();
    EXPECT_FALSE(Engine().IsThreadRunning());

    SimLine sim;
    Add("T1", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") >= 1; }));
    Engine().ConfigurePort();
    EXPECT_TRUE(Engine().IsThreadRunning());
    const size_t before = journal_.Count("after T1");
    EXPECT_TRUE(PumpUntil([&] { return journal_.Count("after T1") > before; }));
    SetPortSettingsDialog(nullptr);

    EXPECT_EQ(runningDuringDialog, (std::vector<bool>{false, false}));
}

// A port that is missing or held by another program is the next exchange's
// failure, reported and retried as any other; the dialog itself always
// succeeds, saves what the user chose and lets the polling go on.
TEST_F(ManagerTest, PortSwitchWhilePollingNeverStopsThePolling)
{
    SimLine sim;
    int port = 1;
    SetPortSettingsDialog([&](PortDialogValues& v) {
        v.portText = my::Format("COM%d", port);
        v.timeOut = "700";
        v.writeDelay = "20";
        v.silentTime = "15";
        return true;
    });
    Add("T1", Probe::Options().Kept());
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return journal_.Count("after T1") >= 1; }));

    port = 2; // no device stands for it
    Engine().ConfigurePort();
    EXPECT_TRUE(Engine().IsThreadRunning());
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(3) >= 1; }));
    EXPECT_NE(ConsoleText().find("\"COM2\" не представлен в системе!"), std::string::npos);
    const my::IniFile comm(GetExeDir() + "comm.ini");
    EXPECT_EQ(comm.ReadInteger("COMPORT", "Порт", 0), 2);
    EXPECT_EQ(comm.ReadInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 0), 700);
    EXPECT_EQ(comm.ReadInteger("Трансфер", "Задержка_записи_мсек", 0), 20);
    EXPECT_EQ(comm.ReadInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 0), 15);

    int held = -1;
    ASSERT_EQ(my::Comm::OpenExclusive(LinePath(), held), 0);
    port = 1; // the simulator's port, but another program has it
    Engine().ConfigurePort();
    EXPECT_TRUE(Engine().IsThreadRunning());
    const size_t errors = rec_.CountCode(3);
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(3) > errors; }));
    EXPECT_NE(ConsoleText().find("COM-порт \"COM1\" занят!"), std::string::npos);
    EXPECT_EQ(comm.ReadInteger("COMPORT", "Порт", 0), 1);

    const size_t polled = journal_.Count("after T1");
    my::Comm::CloseExclusive(held);
    EXPECT_TRUE(PumpUntil([&] { return journal_.Count("after T1") > polled; })) << "values come back";

    // Even a dialog that fails lets the polling go on.
    SetPortSettingsDialog([](PortDialogValues&) -> bool { throw PMyExcpt(new MyException(FILE_LINE, "dialog")); });
    EXPECT_THROW(Engine().ConfigurePort(), PMyExcpt);
    EXPECT_TRUE(Engine().IsThreadRunning());
    SetPortSettingsDialog(nullptr);
}

// A "config.ini" that cannot be written is the console's news at exit, not
// the end of the process: the link still saves "comm.ini" after it.
TEST_F(ManagerTest, ConfigIniThatCannotBeWrittenAtExitIsReported)
{
    const std::string config = GetExeDir() + "config.ini";
    ASSERT_EQ(mkdir(config.c_str(), 0700), 0); // no file can replace a directory
    Engine();
    DeleteEngine();
    // A directory in its place can be neither read nor replaced: the failure
    // names the file.
    EXPECT_NE(ConsoleText().find("IniFile.cpp"), std::string::npos) << ConsoleText();
    EXPECT_NE(ConsoleText().find(config), std::string::npos) << ConsoleText();
    EXPECT_TRUE(my::IniFile(GetExeDir() + "comm.ini").SectionExists("COMPORT"));
    rmdir(config.c_str());
}
