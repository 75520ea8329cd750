// The entry point: one copy of the program at a time; the console, the
// engine and the main window are made in this order and go in the reverse
// one; whatever escapes is reported, and the process always ends with 0.
#include "Application/ConsolePrint.h"
#include "Application/ExceptionBox.h"
#include "Application/UnixSignals.h"
#include "Application/guicon.h"
#include "BusStats/BusStats.h"
#include "CommandLine/CommandLine.h"
#include "ComPort/Dlg/uFormComPortSetsDlg.h"
#include "DevSys/TransferManage.h"
#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "SingleInstance/InstanceLock.h"
#include "Unit1.h"
#include "VCLUtils/MyDialogs.h"
#include "VCLUtils/MyWindow.h"

#include <QApplication>

#include <exception>
#include <iostream>

namespace {

const char kTitle[] = "КАЛИСТ-8";

// The catch site the last-resort report names: a fixed line, so that the
// reports of every version of the program read the same.
const int kLastResortLine = 90;

// Qt does not let exceptions pass through its event loop: one that leaves
// an event handler is reported here and the loop goes on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            ShowCaughtException(std::current_exception());
            return false;
        }
    }
};

// SIGTERM and SIGHUP close the box, which ends this copy as pressing OK does.
void ShowAlreadyRunning()
{
    my::InstallUnixSignalHandlers();
    my::SetCloseRequestedHandler([] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    MyMessageBox(nullptr, "Приложение КАЛИСТ-8\n уже работает.", kTitle, MB_ICONINFORMATION | MB_SYSTEMMODAL,
                 kTitle);
}

// The main window's life. A failure to create it or one that leaves the
// loop is shown, and the shutdown goes on.
void RunMainWindow(QApplication& app)
{
    app.setApplicationDisplayName(QString::fromUtf8(kTitle));
    try {
        Form1 = new TForm1;
        // Open single-channel windows must not keep the program alive.
        QObject::connect(Form1, &TForm1::Closed, &app, &QCoreApplication::quit);
        // The polling starts as the window is shown.
        Form1->show();
        // A starting program's main window is the active one; a window
        // manager may still refuse the focus.
        Form1->activateWindow();
        app.exec();
    } catch (...) {
        ShowCaughtException(std::current_exception());
    }
}

// Settings the window could not write are news for the log, not a reason to
// skip the rest of the shutdown: the link's settings and the log archive.
void ReportDestructionError()
{
    try {
        TForm1::ThrowDestructionError();
    } catch (...) {
        ConsolePrint(FormatExceptionChain(CurrentExceptionToPMyExcpt(FILE_LINE).get()) + "\n");
    }
}

void LastResortReport()
{
    const PMyExcpt e = CurrentExceptionToPMyExcpt(FileLine(kLastResortLine, "kalist8.cpp"));
    ConsolePrint("Исключение! Выход из приложения!\n" + FormatExceptionChain(e.get()) + "\n");
    MyMessageBox(nullptr, e->Message(), kTitle, MB_ICONERROR | MB_SYSTEMMODAL, kTitle);
}

} // namespace

int main(int argc, char** argv)
{
    // --help and --version answer without a window and without counting as
    // a running copy.
    if (const auto code = HandleCommandLine(argc, argv, std::cout, std::cerr))
        return *code;
    // Before the application object, whose start takes long enough for a
    // second start to come in the meantime.
    const InstanceLock instanceLock(InstanceLock::DefaultPath());
    Application app(argc, argv);
    if (!IsOnlyInstance(instanceLock)) {
        ShowAlreadyRunning();
        return 0;
    }
    InstallGuiHooks();
    InstallPortSettingsDialog();
    GUIConT& console = GUIConT::Instance();
    console.Open();
    ConsolePrint("Файлы программы: " + GetDataDir() + "\n");
    // Between the window's life and the end a request to close has nothing
    // left to close.
    my::SetCloseRequestedHandler([] {
        if (Form1)
            Form1->close();
    });
    try {
        TransferManagerT::Instance();
        RunMainWindow(app);
        TransferManagerT::Instance().StopThread();
        ConsolePrint("Статистика связи:\n" + BusStats::Counter::Instance().Text());
        delete Form1;
        Form1 = nullptr;
        ReportDestructionError();
        TransferManagerT::DeleteInstance();
    } catch (...) {
        LastResortReport();
    }
    console.SaveAndArchive();
    console.FreeConsole();
    return 0;
}
