#include "TimingAdvisor/Advice.h"

#include "BusStats/BusStats.h"
#include "DevSys/TransferManage.h"
#include "DevSys/modbus_.h"
#include "DevSys/task_.h"
#include "VCLUtils/MySynchronize.h"

#include <array>
#include <chrono>

namespace TimingAdvisor {

namespace {

// The reading made throughout: channel 0's value, two registers, as the
// polling reads every channel.
const uint16_t kFirstRegister = 0;
const std::array<uint8_t, 4> kReadRequest = {0, kFirstRegister, 0, 2};

// Failed readings at the settings in force after which the advice goes on
// to the ladder.
const unsigned kGiveUpAfter = 3;

typedef std::chrono::steady_clock Clock;

} // namespace

class AdvisorTask : public MyAbstructTransfer {
public:
    AdvisorTask(const boost::shared_ptr<Advice>& run, const Counts& counts) : run_(run), counts_(counts) {}

    // Once only: a turn cut short by a stop is not taken up again at the
    // next start, the user has been told it ended.
    bool BeforeTransfer() override
    {
        if (started_ || run_->cancelled_) {
            run_->ended_ = true;
            return false;
        }
        started_ = true;
        return true;
    }
    bool AfterTransfer() override { return false; }
    std::string Description() const override { return "Подбор таймингов..."; }
    void DoTransfer() override;

private:
    // Puts the link's timings back when the task ends, however it ends.
    class Restore {
    public:
        Restore() : saved_(TransferManagerT::Timings()) {}
        ~Restore() { TransferManagerT::UseTimings(saved_); }
        const LinkTimings& Saved() const { return saved_; }

    private:
        const LinkTimings saved_;
    };

    // The readings and the proposal; false when the advice was broken off.
    bool Advise(const LinkTimings& current, Result& r);
    bool Broken() const { return run_->cancelled_ || TransferManagerT::StopRequested(); }
    // The stage's readings; false when the advice was broken off.
    bool Read(Stage stage, int32_t writeDelay, unsigned count, Rate& rate, BusStats::LatencyHistogram& latency);
    void Tell(const Progress& p);
    void Finish(const Result& r);

    const boost::shared_ptr<Advice> run_;
    const Counts counts_;
    bool started_ = false;
    uint8_t address_ = 0;
};

void AdvisorTask::DoTransfer()
{
    Result r;
    if (const DevTask::DeviceWindow* window = DevTask::GetDeviceWindow()) {
        address_ = static_cast<uint8_t>(window->Address());
        const Restore restore;
        r.completed = Advise(restore.Saved(), r);
    }
    Finish(r);
}

bool AdvisorTask::Advise(const LinkTimings& current, Result& r)
{
    r.findings.current = current;
    r.findings.framing = TransferManagerT::Framing();
    r.findings.longestAnswerBytes =
        ExpectedAnswerOf(0x03, kReadRequest.data(), kReadRequest.data() + kReadRequest.size()).longest;

    // The latency does not depend on the write delay: every sound reading
    // adds to it, so that settings under which nothing answers still get
    // a time-out from the readings at the steps.
    BusStats::LatencyHistogram latency;
    if (!Read(Stage::Latency, current.writeDelay, counts_.latencyReadings, r.before, latency))
        return false;
    while (const std::optional<int32_t> step = Plan::NextStep(r.findings.steps)) {
        TransferManagerT::UseTimings({current.timeOut, *step, current.silentTime});
        Rate rate;
        if (!Read(Stage::Step, *step, counts_.stepReadings, rate, latency))
            return false;
        r.findings.steps.push_back({*step, rate.readings, rate.failed, rate.shortestGapUs});
    }
    r.findings.answered = latency.Count() > 0;
    r.findings.latencyP99Ms = latency.Quantile(0.99);
    r.proposal = Plan::Propose(r.findings);
    if (!r.proposal.timings)
        return true;
    TransferManagerT::UseTimings(*r.proposal.timings);
    latency = BusStats::LatencyHistogram();
    if (!Read(Stage::Check, r.proposal.timings->writeDelay, counts_.checkReadings, r.after, latency))
        return false;
    if (r.after.failed > 0)
        r.proposal.refusal = "При предложенных настройках были сбои: применять их не стоит.";
    return true;
}

// A step, or the check of the proposal, ends at its first failed reading:
// the ladder stops there, and a proposal that lost a reading is not offered.
// At the settings in force the readings go on, for the rate before, until a
// few have failed: each failure costs the whole time-out, and a few already
// tell that the settings in force lose readings.
bool AdvisorTask::Read(Stage stage, int32_t writeDelay, unsigned count, Rate& rate,
                       BusStats::LatencyHistogram& latency)
{
    const Clock::time_point t0 = Clock::now();
    for (unsigned i = 0; i < count; ++i) {
        if (Broken())
            return false;
        bool sound = true;
        try {
            double value = 0;
            ReadBcdValues(address_, kFirstRegister, 1, &value);
        } catch (...) {
            sound = false;
        }
        // A stop ends the exchange early: that reading tells nothing.
        if (Broken())
            return false;
        ++rate.readings;
        if (!sound)
            ++rate.failed;
        const int32_t ms = TransferManagerT::LastLatencyMs();
        if (sound && ms >= 0)
            latency.Add(static_cast<uint32_t>(ms));
        const int64_t gap = TransferManagerT::LastRequestGapUs();
        if (sound && gap >= 0 && (rate.shortestGapUs < 0 || gap < rate.shortestGapUs))
            rate.shortestGapUs = gap;
        Tell({stage, writeDelay, rate.readings, rate.failed, count});
        if (!sound && (stage != Stage::Latency || rate.failed >= kGiveUpAfter))
            break;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    rate.perSecond = seconds > 0 ? (rate.readings - rate.failed) / seconds : 0;
    return true;
}

void AdvisorTask::Tell(const Progress& p)
{
    const boost::shared_ptr<Advice> run = run_;
    my::Synchronize([&run, &p] {
        if (run->listener_)
            run->listener_->OnProgress(p);
    });
}

// Called once the link has its timings back; the window then may apply.
void AdvisorTask::Finish(const Result& r)
{
    const boost::shared_ptr<Advice> run = run_;
    my::Synchronize([&run, &r] {
        run->ended_ = true;
        if (run->listener_)
            run->listener_->OnFinished(r);
    });
}

boost::shared_ptr<Advice> Advice::Start(Listener* listener, const Counts& counts)
{
    const boost::shared_ptr<Advice> run(new Advice(listener));
    TransferManagerT& engine = TransferManagerT::Instance();
    engine.AddTask(new AdvisorTask(run, counts), false);
    engine.StartThread();
    return run;
}

void Advice::Cancel()
{
    listener_ = nullptr;
    cancelled_ = true;
}

} // namespace TimingAdvisor
