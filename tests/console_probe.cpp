// A small program around the debug console, for the tests that need a
// process of their own: the console's paths hang on the executable's
// directory, signals go to the whole process, and the console exists once
// per process. test_console_process.cpp copies it into a temporary
// directory and runs it there.
//
//   kalist8_console_probe run      write the test log, then end as the program does
//   kalist8_console_probe signals  the same, but wait for signals in between
//   kalist8_console_probe window   the console window's life beside a main window
//   kalist8_console_probe menu     the main window's "Консоль" item, as
//                                  "enable_console" in "form1.ini" has it
//   kalist8_console_probe twice    construct a second console (an assertion)
//   kalist8_console_probe bench    measure the console's append cost

#include "Application/ConsolePrint.h"
#include "Application/StdoutRouter.h"
#include "Application/UnixSignals.h"
#include "Application/guicon.h"
#include "DevSys/TransferManage.h"
#include "Unit1.h"
#include "VCLUtils/MySynchronize.h"

#include <loki/Singleton.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <thread>

namespace {

void WriteTestLog()
{
    GUIConT& con = GUIConT::Instance();
    con.Open();  // a second Open changes nothing
    ConsolePrint("Проверка кириллицы: КАЛИСТ-8\n");
    ConsolePrint("   три пробела впереди, хвост   \t \n");
    ConsolePrint("\n");
    ConsolePrint("      \n");
    std::thread worker([] {
        for (int i = 1; i <= 3; ++i)
            std::cout << "worker line " << i << std::endl;
    });
    worker.join();
    std::cout << "main: done\n";
    ConsolePrint("unfinished line");
}

void EndAsTheProgramDoes()
{
    GUIConT::Instance().SaveAndArchive();
    GUIConT::Instance().FreeConsole();
}

int WaitForSignals(QApplication& app)
{
    my::SetCloseRequestedHandler([&app] {
        const bool onMain = QThread::currentThread() == app.thread();
        std::cout << "\nprobe: close requested on the " << (onMain ? "main" : "wrong") << " thread\n" << std::flush;
        app.quit();
    });
    std::cout << "\nprobe: ready\n" << std::flush;
    return app.exec();
}

// Prints what differs from the expected window states; exit code 1 then.
int CheckWindow()
{
    int failures = 0;
    auto expect = [&failures](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "window: %s\n", what);
            ++failures;
        }
    };
    GUIConT& con = GUIConT::Instance();
    QWidget* w = con.Window();
    expect(w && w->isHidden(), "hidden after Open");
    con.ToggleWindow();
    expect(w->isVisible(), "shown by the first toggle");
    w->close();
    expect(con.Window() == w && w->isHidden(), "closing only hides");
    con.ToggleWindow();
    expect(w->isVisible(), "shown again");
    con.ToggleWindow();
    expect(w->isHidden(), "hidden by the next toggle");

    auto* mainWindow = new QWidget;
    mainWindow->show();
    con.ToggleWindow();
    con.AttachToMainWindow(mainWindow);
    expect(w->isHidden(), "hidden when attached to the main window");
    expect(w->windowHandle() && w->windowHandle()->transientParent() == mainWindow->windowHandle(),
           "kept with the main window");
    delete mainWindow;
    expect(con.Window() == w, "outlives the main window");
    con.ToggleWindow();
    expect(w->isVisible(), "shown after the main window has gone");
    std::cout << "window checked\n";
    EndAsTheProgramDoes();
    expect(con.Window() == nullptr, "gone after FreeConsole");
    return failures ? 1 : 0;
}

// The main window after its first activation, as the program shows it:
// prints whether the "Консоль" item is there and, when it is, what two
// clicks on it do to the console window.
int CheckConsoleMenu()
{
    ModuleImpl::Instance();
    GUIConT& con = GUIConT::Instance();
    auto* form = new TForm1;
    form->show();
    form->FormActivate();
    std::cout << "menu item " << (form->menuConsole->isVisible() ? "shown" : "hidden") << "\n";
    if (form->menuConsole->isVisible()) {
        form->menuConsole->trigger();
        std::cout << "console " << (con.Window()->isVisible() ? "shown" : "hidden") << "\n";
        form->menuConsole->trigger();
        std::cout << "console " << (con.Window()->isVisible() ? "shown" : "hidden") << "\n";
    }
    std::cout << std::flush;
    TransferManagerT::Instance().StopThread();
    delete form;
    TransferManagerT::DeleteInstance();
    EndAsTheProgramDoes();
    return 0;
}

std::vector<std::string> BenchLines(int from, int count)
{
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back("Отправка команды " + std::to_string(from + i) +
                        " 01 03 00 00 00 02 C4 0B ................................");
    return lines;
}

// Microseconds per line for count lines appended in batches of 500, as the
// batch timer hands them over at 10,000 lines a second.
double AppendCost(ConsoleWindow& w, int from, int count)
{
    const int kBatch = 500;
    QElapsedTimer t;
    t.start();
    for (int done = 0; done < count; done += kBatch) {
        w.AppendLines(BenchLines(from + done, kBatch));
        QApplication::processEvents();
    }
    return double(t.nsecsElapsed()) / 1000.0 / count;
}

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A worker writes 10,000 lines a second for three seconds through a router
// while the main thread runs its event loop with a 10 ms timer: the main
// thread's processor time and its longest gap between two timer ticks.
void Flood(QApplication& app, bool shown)
{
    ConsoleWindow w;
    w.resize(800, 600);
    if (shown)
        w.show();
    std::ofstream devnull("/dev/null");
    std::ostream stream(devnull.rdbuf());
    my::StdoutRouter router(stream, [&w] { w.RequestBatch(); });
    w.Attach(&router);
    const int kSeconds = 3, kPerSecond = 10000;
    const double cpuBefore = ThreadCpuMs();
    std::thread worker([&stream] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSeconds * kPerSecond; ++i) {
            stream << "worker line " << i << " 01 03 04 00 00 12 34 FA 33\n";
            if (i % 100 == 99)
                std::this_thread::sleep_until(start + std::chrono::microseconds(100LL * (i + 1)));
        }
    });
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    qint64 worstGapMs = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worstGapMs = std::max(worstGapMs, sinceTick.elapsed());
        sinceTick.restart();
        if (clock.elapsed() > kSeconds * 1000 + 200)
            app.quit();
    });
    tick.start();
    app.exec();
    worker.join();
    w.Flush();
    const double cpuMs = ThreadCpuMs() - cpuBefore;
    std::printf("flood %d lines/s for %d s, window %s: main thread busy %.0f ms (%.0f%%), longest gap "
                "between 10 ms ticks %lld ms, rows %zu, last \"%s\"\n",
                kPerSecond, kSeconds, shown ? "shown " : "hidden", cpuMs, cpuMs / (kSeconds * 10.0),
                static_cast<long long>(worstGapMs), w.Rows().size(), w.Rows().back().c_str());
    w.Attach(nullptr);
}

int Bench(QApplication& app)
{
    for (bool shown : {false, true}) {
        ConsoleWindow w;
        w.resize(800, 600);
        if (shown)
            w.show();
        const double filling = AppendCost(w, 0, 10000);
        const double full = AppendCost(w, 10000, 50000);
        std::printf("append, window %s: %.2f us/line filling the buffer, %.2f us/line with it full\n",
                    shown ? "shown " : "hidden", filling, full);
        if (!shown) {
            QElapsedTimer t;
            t.start();
            w.show();
            QApplication::processEvents();
            std::printf("showing a hidden console of %zu rows: %lld ms\n", w.Rows().size(),
                        static_cast<long long>(t.elapsed()));
        }
    }
    Flood(app, false);
    Flood(app, true);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string scenario = argc > 1 ? argv[1] : "";

    if (scenario == "bench")
        return Bench(app);
    if (scenario == "window")
        return CheckWindow();
    if (scenario == "menu")
        return CheckConsoleMenu();
    if (scenario == "twice") {
        GUIConT::Instance();
        Loki::CreateUsingNew<GUIConT>::Create();
        return 0;
    }
    if (scenario != "run" && scenario != "signals") {
        std::fprintf(stderr, "usage: %s run|signals|window|menu|twice|bench\n", argv[0]);
        return 2;
    }
    WriteTestLog();
    const int rc = scenario == "signals" ? WaitForSignals(app) : 0;
    EndAsTheProgramDoes();
    return rc;
}
