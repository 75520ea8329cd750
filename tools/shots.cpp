// Pictures of the windows that show the readings over time, taken from the
// real main window polling the instrument simulator (scripts/screenshot-windows
// runs it on a virtual display): the channel window with its trend, the
// trends window, the archive download's progress, the archive window after
// the download, and the main window recording. Usage: kalist8-shots OUTPUT_DIR SECONDS_OF_POLLING
// With --advisor: "Подбор таймингов" from the main window's menu, once its
// proposal is shown, its figures printed. Usage: kalist8-shots --advisor OUTPUT_DIR
#include "ArchiveViewer/ArchiveWindow.h"
#include "Application/ConsolePrint.h"
#include "DevSys/TransferManage.h"
#include "TimingAdvisor/AdvisorWindow.h"
#include "Trends/TrendView.h"
#include "Unit1.h"
#include "uFormChanal.h"
#include "uFrmWait.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <functional>
#include <string>

namespace {

bool PumpUntil(const std::function<bool()>& done, int seconds)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > seconds * 1000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

bool Save(QWidget* w, const std::string& dir, const char* name)
{
    Pump(600); // a few redraws of the plots
    const std::string path = dir + "/" + name;
    if (!w->grab().save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

// The wait window with its bar part-way, and the screen around it.
bool SaveProgress(const std::string& dir, const char* name)
{
    TFrmWait* panel = nullptr;
    const auto partWay = [&panel] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = dynamic_cast<TFrmWait*>(w); p && p->isVisible() && p->pb1->isVisible() &&
                                                        p->pb1->value() > p->pb1->maximum() * 2 / 5) {
                panel = p;
                return true;
            }
        return false;
    };
    if (!PumpUntil(partWay, 60))
        return false;
    const QRect around = panel->frameGeometry().adjusted(-160, -90, 160, 90);
    const std::string path = dir + "/" + name;
    if (!panel->screen()->grabWindow(0, around.x(), around.y(), around.width(), around.height())
             .save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

template <class T>
T* Shown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = dynamic_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}

// The advice as the user asks for it, from "Настройки", while the main
// window polls.
int AdvisorShot(const std::string& dir)
{
    TForm1 form;
    form.show();
    form.StartInitializeDevice();
    Pump(5000);
    form.findChild<QAction*>("menuTimingAdvisor")->trigger();
    auto* advisor = form.findChild<TimingAdvisor::Window*>("TimingAdvisorWindow");
    const bool ended = PumpUntil([advisor] { return advisor->lblStatus->text().startsWith("Подбор закончен") ||
                                                    advisor->lblStatus->text().contains("нельзя"); },
                                 120);
    for (QLabel* label : advisor->findChildren<QLabel*>())
        std::printf("%s\n", label->text().toStdString().c_str());
    const bool ok = ended && Save(advisor, dir, "screenshot-timing-advisor.png");
    TransferManagerT::Instance().StopThread();
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--advisor") {
        QApplication app(argc, argv);
        SetConsoleSink([](const std::string&) {});
        const int rc = AdvisorShot(argv[2]);
        SetConsoleSink(nullptr);
        return rc;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: kalist8-shots OUTPUT_DIR SECONDS_OF_POLLING\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int seconds = std::atoi(argv[2]);
    QApplication app(argc, argv);
    SetConsoleSink([](const std::string&) {});
    int rc = 1;
    {
        TForm1 form;
        form.show();
        form.StartInitializeDevice();
        form.findChild<QAction*>("menuRecord")->trigger();
        Pump(seconds * 1000);

        form.menuShowDetail->setData(1);
        form.menuShowDetail->trigger();
        TFormChanal* chanal = Shown<TFormChanal>();
        form.findChild<QAction*>("menuTrends")->trigger();
        QWidget* trends = form.findChild<QWidget*>("TrendsWindow");
        for (auto* view : {chanal->findChild<TrendView*>(), trends->findChild<TrendView*>()})
            view->SpanBox()->setCurrentIndex(0);
        bool ok = Save(chanal, dir, "screenshot-channel-trend.png") && Save(trends, dir, "screenshot-trends.png") &&
                  Save(&form, dir, "screenshot-recording.png");

        // The download's wait window over the main window alone.
        chanal->close();
        trends->close();
        form.N2->trigger();
        ok = ok && SaveProgress(dir, "screenshot-archive-progress.png") && PumpUntil([] { return Shown<ArchiveWindow>() != nullptr; }, 90) &&
             Save(Shown<ArchiveWindow>(), dir, "screenshot-archive.png");
        rc = ok ? 0 : 1;
        TransferManagerT::Instance().StopThread();
    }
    SetConsoleSink(nullptr);
    return rc;
}
