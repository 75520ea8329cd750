// "Подбор таймингов" against the simulator: the readings on the real
// worker, the proposal against an instrument that loses requests sent too
// soon after its answer, the window as the user meets it, and the settings
// as they were after a cancel or a stop.
#include "EngineTestSupport.h"

#include "ProgramFiles.h"
#include "TimingAdvisor/Advice.h"
#include "TimingAdvisor/AdvisorWindow.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <optional>
#include <regex>

using namespace engine_test;
using namespace TimingAdvisor;

namespace {

// Fewer readings than the user's advice takes: enough for a simulator
// whose turnaround loses every request sent too soon.
const Counts kCounts{20, 20, 20};

struct Heard : Listener {
    void OnProgress(const Progress& p) override { progress.push_back(p); }
    void OnFinished(const Result& r) override { result = r; }
    bool Stepping() const { return !progress.empty() && progress.back().stage == Stage::Step; }

    std::vector<Progress> progress;
    std::optional<Result> result;
};

class TimingAdvisorTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        my::IniFile ini(CommIni());
        ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 700);
        ini.WriteInteger("Трансфер", "Задержка_записи_мсек", 30);
        ini.WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 12);
    }

    static std::string CommIni() { return GetExeDir() + "comm.ini"; }
    // The file as it lies on disk, in the program's own terms.
    static std::string CommIniText() { return my::Cp1251ToUtf8(ReadBytes(CommIni())); }
    static std::string Line(const char* key, int value) { return my::Format("%s=%d\r\n", key, value); }
    void ExpectStored(const LinkTimings& t)
    {
        const std::string text = CommIniText();
        EXPECT_NE(text.find(Line("таймаут_ожидания_ответа_мсек", t.timeOut)), std::string::npos) << text;
        EXPECT_NE(text.find(Line("Задержка_записи_мсек", t.writeDelay)), std::string::npos) << text;
        EXPECT_NE(text.find(Line("длительность_ожидания_символа_приёма_мсек", t.silentTime)), std::string::npos)
            << text;
    }

    static unsigned TurnaroundLost(SimLine& sim)
    {
        std::smatch m;
        const std::string counts = sim.Command("counts");
        if (!std::regex_search(counts, m, std::regex("turnaround-lost ([0-9]+)")))
            ADD_FAILURE() << counts;
        return m.empty() ? 0 : static_cast<unsigned>(std::stoul(m[1]));
    }

    const LinkTimings kStored{700, 30, 12};
};

// The user's whole way: the window opens and advises, nothing changes until
// "Применить", which writes "comm.ini" at once; the polling at the proposal
// then loses no request to the instrument's turnaround.
TEST_F(TimingAdvisorTest, ATurnaroundOf7GetsAWriteDelayAbove7AndPollingThereLosesNothing)
{
    SimLine sim({"--turnaround", "7"});
    Engine();
    QPointer<Window> w = new Window(nullptr, kCounts);
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return w->btnApply->isEnabled() || w->lblStatus->text().contains("нельзя"); }, 90))
        << w->lblStatus->text().toStdString() << ConsoleText();
    ASSERT_TRUE(w->Offered()) << w->lblStatus->text().toStdString();
    const LinkTimings offered = *w->Offered();
    EXPECT_GE(offered.writeDelay, 7);
    EXPECT_LT(offered.writeDelay, 30) << "no faster than the settings it started from";
    EXPECT_GE(offered.timeOut, 100);
    EXPECT_EQ(offered.silentTime, 12) << "the silence in force, above the rule's 5 ms";
    EXPECT_EQ(w->progress->value(), w->progress->maximum());
    EXPECT_TRUE(w->lblSteps->text().contains("сбой")) << "the ladder went down to a lost request";
    EXPECT_TRUE(w->lblRates->text().contains("станет")) << w->lblRates->text().toStdString();
    // Advised, not applied.
    ExpectStored(kStored);

    w->btnApply->click();
    EXPECT_TRUE(PumpUntil([&] { return w.isNull(); }, 5)) << "the window closes once applied";
    ExpectStored(offered);

    const unsigned lost = TurnaroundLost(sim);
    // Every failed reading, whatever its kind, reaches the error report.
    const size_t errors = rec_.CountCode(3);
    for (unsigned n = 0; n < 4; ++n)
        Engine().AddTask(new DevTask::ReadChanal(n), true);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return window_.values.size() >= 300; }, 120)) << ConsoleText();
    EXPECT_EQ(rec_.CountCode(3), errors) << ConsoleText();
    EXPECT_EQ(TurnaroundLost(sim), lost);
}

// "Отмена" while the write delay is being stepped down: the window goes,
// the readings end, and the link keeps the settings it had.
TEST_F(TimingAdvisorTest, CancelWhileSteppingPutsTheSettingsBack)
{
    SimLine sim;
    Engine();
    QPointer<Window> w = new Window(nullptr, kCounts);
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return w->lblStatus->text().contains("Пробная задержка отправки 10 мсек"); }, 60))
        << w->lblStatus->text().toStdString();
    w->btnCancel->click();
    EXPECT_TRUE(PumpUntil([&] { return w.isNull(); }, 5));
    ASSERT_TRUE(WaitIdle(10)) << "the advice ends with nothing else queued";
    EXPECT_EQ(TransferManagerT::Timings(), kStored);
    DeleteEngine();
    ExpectStored(kStored);
}

// Stopping the polling in the middle of the advice ends it at once with
// the settings back; the next start polls and does not take the advice up
// again.
TEST_F(TimingAdvisorTest, AStopEndsTheAdviceWhichDoesNotComeBack)
{
    SimLine sim;
    Heard heard;
    Engine().AddTask(new DevTask::ReadChanal(0), true);
    const boost::shared_ptr<Advice> run = Advice::Start(&heard, kCounts);
    ASSERT_TRUE(PumpUntil([&] { return heard.Stepping(); }, 60)) << ConsoleText();
    Engine().StopThread();
    ASSERT_TRUE(heard.result);
    EXPECT_FALSE(heard.result->completed);
    EXPECT_FALSE(heard.result->proposal.timings);
    EXPECT_TRUE(run->Ended());
    EXPECT_EQ(TransferManagerT::Timings(), kStored);

    const size_t heardSoFar = heard.progress.size();
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return window_.values.size() >= 5; })) << ConsoleText();
    EXPECT_EQ(heard.progress.size(), heardSoFar);
    run->Cancel();
    DeleteEngine();
    ExpectStored(kStored);
}

} // namespace
