// Measures the polling engine as the program runs it: sixteen channel
// readings in rotation on the worker thread, every exchange notified to the
// main thread. Prints the time per exchange against the line time and the
// configured pauses, and the processor time of the whole process; the exit
// status is 0 when the figures are within their targets.
//
//   kalist8-enginebench [seconds]
//   kalist8-enginebench archive     one archive download, with its wait window
//
// Port 1 must be mapped to a line an instrument with 16 channels answers on
// (KALIST8_COM1); "comm.ini" beside this program holds the link's timings.
// The line is taken to be a pseudo-terminal: the request passes it at once
// and only the answer is paced at 9600 baud, so the budget leaves the
// request's bytes out.

#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace {

// One character at 9600 baud, 10 bits.
constexpr double CHAR_MS = 10.0 / 9600 * 1000;

double CpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The main window as far as the tasks need it: it counts the readings.
class Counter : public DevTask::DeviceWindow {
public:
    int32_t Address() const override { return 1; }
    void UpdateChanalValue(unsigned, double) override { ++readings; }
    void UpdateChanals(const ModbusChanals&) override {}
    void SaveArchive(const uint8_t*, const uint8_t*) override { ++archives; }
    long readings = 0;
    long archives = 0;
};

struct Exchanges {
    void OnNotify(const TransmitionItemTag& tag)
    {
        if (tag.done)
            ++(tag.error ? failed : done);
    }
    void OnState(unsigned, const std::string&) {}
    long done = 0;
    long failed = 0;
};

// The main thread's event loop, as the program runs it, for a while.
void RunFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// The archive as the user fetches it: queued at the head, downloaded by
// the worker while the wait window shows, handed to the main window.
int BenchArchive(double latencyMs, int writeDelay, int silentTime)
{
    const int lineBytes = 9800 + 4;
    const double lineMs = lineBytes * CHAR_MS;
    const double budgetMs = lineMs + 3.5 * CHAR_MS + writeDelay + latencyMs + silentTime;

    Counter window;
    DevTask::SetDeviceWindow(&window);
    TransferManagerT& engine = TransferManagerT::Instance();
    QElapsedTimer t;
    t.start();
    engine.AddTask(new DevTask::ReadArchive, false);
    engine.StartThread();
    // A failed download is tried again and again: three budgets is long
    // enough to call it failed. The task's box after its third failure would
    // wait for a user for ever; it is closed as one would.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    boxCloser.start(100);
    while (engine.IsThreadRunning() && window.archives == 0 && t.elapsed() < 3 * budgetMs)
        RunFor(0.01);
    boxCloser.stop();
    const double wallMs = t.elapsed();
    engine.StopThread();
    DevTask::SetDeviceWindow(nullptr);
    TransferManagerT::DeleteInstance();

    std::printf("archive: %s\n", window.archives ? "downloaded" : "NOT downloaded");
    std::printf("line time                 %.0f ms (the answer, %d bytes at 9600 8N1)\n", lineMs, lineBytes);
    std::printf("budget                    %.0f ms (line + request end %.2f + delay %d + latency %.1f + silence %d)\n",
                budgetMs, 3.5 * CHAR_MS, writeDelay, latencyMs, silentTime);
    std::printf("measured                  %.0f ms (%+.2f %% of the budget)\n", wallMs,
                100.0 * (wallMs - budgetMs) / budgetMs);
    return window.archives && wallMs <= budgetMs * 1.05 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    const double latencyMs = std::getenv("SIM_LATENCY_MS") ? std::atof(std::getenv("SIM_LATENCY_MS")) : 5;
    const my::IniFile& ini = GetCommIni();
    const int writeDelay = ini.ReadInteger("Трансфер", "Задержка_записи_мсек", 50);
    // A whole answer ends at its length and pays no silence; with the rule
    // off every answer waits for it.
    const int silentTime = ini.ReadBool("Трансфер", "конец_ответа_по_длине", true)
                               ? 0
                               : ini.ReadInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 10);

    if (argc > 1 && std::string(argv[1]) == "archive")
        return BenchArchive(latencyMs, writeDelay, silentTime);

    Counter window;
    DevTask::SetDeviceWindow(&window);
    Exchanges exchanges;
    TransferManagerT& engine = TransferManagerT::Instance();
    const auto c = engine.ConnectNotifyTransmition(exchanges, &Exchanges::OnNotify);
    for (unsigned n = 0; n < 16; ++n)
        engine.AddTask(new DevTask::ReadChanal(n), true);
    engine.StartThread();
    RunFor(2); // the port opened and the rotation going

    const long done0 = exchanges.done, failed0 = exchanges.failed, readings0 = window.readings;
    const double cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    RunFor(seconds);
    const double wallMs = t.elapsed();
    const double cpuMs = (CpuSeconds() - cpu0) * 1000;
    const long done = exchanges.done - done0, failed = exchanges.failed - failed0;
    const long readings = window.readings - readings0;
    engine.StopThread();
    DevTask::SetDeviceWindow(nullptr);
    TransferManagerT::DeleteInstance();

    const int lineBytes = 5 + 4;
    const double lineMs = lineBytes * CHAR_MS;
    const double budgetMs = lineMs + 3.5 * CHAR_MS + writeDelay + latencyMs + silentTime;
    const long exchangesRun = done + failed;
    const double perExchange = exchangesRun ? wallMs / exchangesRun : 0;
    std::printf("engine: 16 channels polled for %.1f s\n", wallMs / 1000);
    std::printf("exchanges                 %ld (%ld failed), %ld readings shown, %.2f readings/s\n", exchangesRun,
                failed, readings, readings * 1000 / wallMs);
    std::printf("line time                 %.2f ms (the answer, %d bytes at 9600 8N1)\n", lineMs, lineBytes);
    std::printf("request                   %.2f ms on a real line (8 bytes), not spent on a pseudo-terminal\n",
                8 * CHAR_MS);
    std::printf("budget                    %.2f ms (line + request end %.2f + delay %d + latency %.1f + silence %d)\n",
                budgetMs, 3.5 * CHAR_MS, writeDelay, latencyMs, silentTime);
    std::printf("measured per exchange     %.2f ms (%+.2f ms against the budget)\n", perExchange,
                perExchange - budgetMs);
    std::printf("processor time            %.3f ms per exchange (%.2f %% of one core)\n",
                exchangesRun ? cpuMs / exchangesRun : 0, 100.0 * cpuMs / wallMs);
    return exchangesRun > 0 && failed == 0 && perExchange <= budgetMs + 2 && cpuMs / wallMs < 0.02 ? 0 : 1;
}
