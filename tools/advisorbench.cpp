// The timing advisor as the bench runs it, without a window: polls sixteen
// channels at the settings of "comm.ini", lets the advisor measure and
// propose, applies the proposal as the port dialog does, and polls again.
// Prints both rates, the proposal and the failed readings; the exit status
// is 0 when the advice completed, nothing failed and the advised rate is at
// least 2.5 times the first.
//
//   kalist8-advisorbench [first-seconds [advised-seconds]]     (20 and 60)
//
// Port 1 must be mapped to a line an instrument with 16 channels answers on
// (KALIST8_COM1); "comm.ini" beside this program holds the first settings
// and gets the proposal.

#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "TimingAdvisor/Advice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

const double kTargetRatio = 2.5;

class Counter : public DevTask::DeviceWindow {
public:
    int32_t Address() const override { return 1; }
    void UpdateChanalValue(unsigned, double) override { ++readings; }
    void UpdateChanals(const ModbusChanals&) override {}
    void SaveArchive(const uint8_t*, const uint8_t*) override {}
    long readings = 0;
};

// Every failed reading reaches the engine's error report, whatever its
// kind (no answer, a bad CRC, a cut answer).
struct Failures {
    void OnState(unsigned code, const std::string&)
    {
        if (code == 3)
            ++failed;
    }
    long failed = 0;
};

struct Heard : TimingAdvisor::Listener {
    void OnProgress(const TimingAdvisor::Progress&) override {}
    void OnFinished(const TimingAdvisor::Result& r) override { result = r; }
    std::optional<TimingAdvisor::Result> result;
};

void RunFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

struct Polled {
    double perSecond;
    long readings;
    long failed;
};

// The rotation is already queued and running: counts over the seconds.
Polled Poll(double seconds, const Counter& window, const Failures& failures)
{
    RunFor(2); // the port reopened and the rotation going
    const long r0 = window.readings, f0 = failures.failed;
    QElapsedTimer t;
    t.start();
    RunFor(seconds);
    const double wall = t.elapsed() / 1000.0;
    const long readings = window.readings - r0;
    return {readings / wall, readings, failures.failed - f0};
}

std::string TimingsText(const LinkTimings& t)
{
    return "time-out " + std::to_string(t.timeOut) + " ms, write delay " + std::to_string(t.writeDelay) +
           " ms, silence " + std::to_string(t.silentTime) + " ms";
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const double firstSeconds = argc > 1 ? std::atof(argv[1]) : 20;
    const double advisedSeconds = argc > 2 ? std::atof(argv[2]) : 60;

    Counter window;
    DevTask::SetDeviceWindow(&window);
    Failures failures;
    TransferManagerT& engine = TransferManagerT::Instance();
    const auto c = engine.ConnectReportState(failures, &Failures::OnState);
    for (unsigned n = 0; n < 16; ++n)
        engine.AddTask(new DevTask::ReadChanal(n), true);
    engine.StartThread();
    const Polled first = Poll(firstSeconds, window, failures);

    Heard heard;
    const boost::shared_ptr<TimingAdvisor::Advice> advice = TimingAdvisor::Advice::Start(&heard);
    QElapsedTimer t;
    t.start();
    while (!heard.result && t.elapsed() < 300000)
        RunFor(0.05);
    const double adviceSeconds = t.elapsed() / 1000.0;

    int status = 1;
    std::printf("first settings            %.2f readings/s over %.0f s, %ld readings, %ld failed\n", first.perSecond,
                firstSeconds, first.readings, first.failed);
    if (heard.result && heard.result->completed && heard.result->proposal.timings &&
        heard.result->proposal.refusal.empty()) {
        const TimingAdvisor::Result& r = *heard.result;
        std::string steps;
        for (const auto& s : r.findings.steps)
            steps += " " + std::to_string(s.writeDelay) + (s.failed ? " (failed)" : "");
        std::printf("advice                    %.1f s; latency p99 %u ms; write delays tried:%s\n", adviceSeconds,
                    r.findings.latencyP99Ms, steps.c_str());
        std::printf("advice's own readings     before %.2f /s, at the proposal %.2f /s\n", r.before.perSecond,
                    r.after.perSecond);
        std::printf("from                      %s\n", TimingsText(r.findings.current).c_str());
        std::printf("proposal                  %s\n", TimingsText(*r.proposal.timings).c_str());
        engine.ApplyTimings(*r.proposal.timings);
        const Polled advised = Poll(advisedSeconds, window, failures);
        const double ratio = first.perSecond > 0 ? advised.perSecond / first.perSecond : 0;
        std::printf("advised settings          %.2f readings/s over %.0f s, %ld readings, %ld failed\n",
                    advised.perSecond, advisedSeconds, advised.readings, advised.failed);
        std::printf("ratio                     %.2f (target %.1f)\n", ratio, kTargetRatio);
        status = advised.readings > 0 && first.failed == 0 && advised.failed == 0 && ratio >= kTargetRatio ? 0 : 1;
    } else {
        std::printf("advice                    %s\n",
                    !heard.result                  ? "did not end"
                    : !heard.result->completed     ? "broken off"
                                                   : heard.result->proposal.refusal.c_str());
    }
    advice->Cancel();
    engine.StopThread();
    DevTask::SetDeviceWindow(nullptr);
    TransferManagerT::DeleteInstance();
    return status;
}
