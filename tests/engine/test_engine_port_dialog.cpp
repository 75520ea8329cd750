// The port settings dialog as the user meets it: the real dialog over the
// polling engine, filled in and applied by a "user" once it is open.
#include "EngineTestSupport.h"

#include "ComPort/Dlg/uFormComPortSetsDlg.h"
#include "ComPort/RS232Modbus.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

using namespace engine_test;

struct Entry {
    const char* port; // nullptr: the port list left as it is shown
    const char* timeOut;
    const char* writeDelay;
    const char* silentTime;
};

class PortDialogTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        InstallPortSettingsDialog();
    }
    void TearDown() override
    {
        SetPortSettingsDialog(nullptr);
        EngineTest::TearDown();
    }

    // Once the dialog is open: notes the port it shows, types the entry and
    // presses "Применить".
    void AnswerDialogWith(const Entry& entry)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer, entry] {
            auto* dlg = qobject_cast<TFormComPortSetsDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            timer->stop();
            timer->deleteLater();
            shownPort_ = dlg->cbPortName->currentText().toStdString();
            if (entry.port)
                dlg->cbPortName->setCurrentIndex(dlg->cbPortName->findText(entry.port));
            dlg->edTimeOut->setText(entry.timeOut);
            dlg->edWriteDelay->setText(entry.writeDelay);
            dlg->edSilentTime->setText(entry.silentTime);
            dlg->Button1->click();
        });
        timer->start();
    }

    static void WritePort(int port)
    {
        my::IniFile(GetExeDir() + "comm.ini").WriteInteger("COMPORT", "Порт", port);
    }
    static int Stored(const char* section, const char* key)
    {
        return my::IniFile(GetExeDir() + "comm.ini").ReadInteger(section, key, -1);
    }

    std::string shownPort_ = "(no dialog)";
};

// The engine polls a port that is not on this machine (COM5) until the user
// picks the present COM1 with new timings: polling goes on there at once,
// and the settings are kept in "comm.ini".
TEST_F(PortDialogTest, ANewPortAndTimingsAreAppliedAndPollingRestarts)
{
    WritePort(5);
    SimLine sim;
    Engine().AddTask(new DevTask::ReadChanal(0), true);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(3) >= 1; })) << ConsoleText();
    EXPECT_TRUE(window_.values.empty());

    AnswerDialogWith({"COM1", "700", "20", "15"});
    Engine().ConfigurePort();
    EXPECT_EQ(shownPort_, "") << "COM5 is not offered";
    ASSERT_TRUE(PumpUntil([&] { return window_.values.size() >= 3; })) << ConsoleText();
    EXPECT_TRUE(Engine().IsThreadRunning());
    EXPECT_NE(ConsoleText().find("Соединение с \"COM1 9600\""), std::string::npos) << ConsoleText();

    DeleteEngine();
    EXPECT_EQ(Stored("COMPORT", "Порт"), 1);
    EXPECT_EQ(Stored("Трансфер", "таймаут_ожидания_ответа_мсек"), 700);
    EXPECT_EQ(Stored("Трансфер", "Задержка_записи_мсек"), 20);
    EXPECT_EQ(Stored("Трансфер", "длительность_ожидания_символа_приёма_мсек"), 15);
}

// A port the list cannot show leaves it empty; applying new timings then
// keeps the port the user had, not COM1.
TEST_F(PortDialogTest, AnEmptyPortChoiceKeepsThePort)
{
    WritePort(5);
    AnswerDialogWith({nullptr, "700", "50", "10"});
    Engine().ConfigurePort();
    EXPECT_EQ(shownPort_, "");

    DeleteEngine();
    EXPECT_EQ(Stored("COMPORT", "Порт"), 5);
    EXPECT_EQ(Stored("Трансфер", "таймаут_ожидания_ответа_мсек"), 700);
}

} // namespace
