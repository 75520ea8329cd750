// The program's end while a command's window is open: "Выход", or SIGTERM
// through the program's own signal path, with the main window's loop run
// and left as the entry point runs and leaves it. The end must come in
// order, within a deadline, with the settings written.
#include "wtest_commands.h"

#include "Application/UnixSignals.h"
#include "ComPort/Dlg/uFormComPortSetsDlg.h"
#include "ComPort/RS232Modbus.h"

#include <QAction>

#include <csignal>

namespace commands_test {
namespace {

using engine_test::SimLine;

enum class Ending { Exit, Sigterm };

struct OpenWindow {
    const char* name;
    // Starts the command whose window the end meets.
    std::function<void(TForm1&)> command;
    // True for the window the end meets; a prompt before it is answered.
    std::function<bool(QWidget*)> isIt;
    const char* promptAnswer;
};

const OpenWindow kWindows[] = {
    {"AddressPrompt", [](TForm1& f) { f.N7->trigger(); },
     [](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; }, nullptr},
    {"SearchProgress", [](TForm1& f) { f.N5->trigger(); },
     [](QWidget* w) { return dynamic_cast<TFormOpros*>(w) != nullptr; }, "1-127"},
    {"PortDialog", [](TForm1& f) { f.N3->trigger(); },
     [](QWidget* w) { return dynamic_cast<TFormComPortSetsDlg*>(w) != nullptr; }, nullptr},
    // The correction is sent on a line that is not there: the worker raises
    // the error box through its synchronous call and waits in it.
    {"SendErrorBox", [](TForm1& f) { f.N9->trigger(); },
     [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; }, "0,5"},
};

class ShutdownTest : public CommandsTest, public ::testing::WithParamInterface<std::tuple<OpenWindow, Ending>> {
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        InstallPortSettingsDialog();
    }
    void TearDown() override
    {
        SetPortSettingsDialog(nullptr);
        my::SetCloseRequestedHandler(nullptr);
        CommandsTest::TearDown();
    }
};

TEST_P(ShutdownTest, EndsInOrderWithTheSettingsWritten)
{
    const OpenWindow& window = std::get<0>(GetParam());
    const Ending ending = std::get<1>(GetParam());
    // Only the search needs an instrument to ask; the error box needs none.
    std::unique_ptr<SimLine> sim;
    if (std::string(window.name) != "SendErrorBox")
        sim.reset(new SimLine({"--mask", "0x0001", "--still"}));

    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2)});
    TakeQueuedTasks();
    QObject::connect(&f, &TForm1::Closed, qApp, &QCoreApplication::quit);
    my::InstallUnixSignalHandlers();
    my::SetCloseRequestedHandler([&f] { f.close(); });

    // The user: answers the prompt that leads to the window, then, with the
    // window open, ends the program.
    bool met = false;
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (met || !w || !w->isVisible())
            return;
        if (window.isIt(w)) {
            met = true;
            if (ending == Ending::Exit)
                f.N6->trigger();
            else
                std::raise(SIGTERM);
        } else if (auto* prompt = qobject_cast<QInputDialog*>(w); prompt && window.promptAnswer) {
            prompt->setTextValue(QString::fromUtf8(window.promptAnswer));
            prompt->accept();
        }
    });
    user.start();
    QTimer::singleShot(0, &f, [&] { window.command(f); });
    // Only a hang reaches this: the loop ends with 2 instead of 0.
    QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(2); });

    const int loop = QApplication::exec();
    user.stop();
    EXPECT_TRUE(met) << "the window never opened";
    EXPECT_EQ(loop, 0) << "the main loop did not end";

    // What the entry point does next.
    TransferManagerT::Instance().StopThread();
    form_.reset();
    EXPECT_NO_THROW(TForm1::ThrowDestructionError());
    TransferManagerT::DeleteInstance();
    EXPECT_NE(ReadBytes(GetExeDir() + "config.ini").find(WinText("[MAIN]\nАдрес=1\n")), std::string::npos);
    EXPECT_NE(ReadBytes(GetExeDir() + "form1.ini").find(WinText("[ширина столбца]\n")), std::string::npos);
    EXPECT_NE(ReadBytes(GetExeDir() + "comm.ini").find(WinText("[COMPORT]\n")), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ShutdownTest, ::testing::Combine(::testing::ValuesIn(kWindows), ::testing::Values(Ending::Exit, Ending::Sigterm)),
    [](const ::testing::TestParamInfo<std::tuple<OpenWindow, Ending>>& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == Ending::Exit ? "_Exit" : "_Sigterm");
    });

} // namespace
} // namespace commands_test
