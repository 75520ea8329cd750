// The commands against the instrument simulator behind COM1, from the menu
// item to what the instrument does and what the window then shows.
#include "wtest_commands.h"

#include "ArchiveFiles.h"
#include "ArchiveViewer/ArchiveWindow.h"
#include "VCLUtils/IniFile.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/StringGrid.h"
#include "VCLUtils/bcd_.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>

#include <filesystem>
#include <set>

namespace commands_test {
namespace {

using engine_test::Bytes;
using engine_test::PumpUntil;
using engine_test::SimLine;

// The value row of the table.
const int kValueRow = 4;

// Stands in for the desktop's file handler, so that no program starts.
class FileUrlCatcher : public QObject {
    Q_OBJECT
public:
    FileUrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Catch"); }
    ~FileUrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;

public slots:
    void Catch(const QUrl& url) { urls << url; }
};

// The zero-correction commands the engine sent, as they went out.
struct SentCommands {
    struct Command {
        uint32_t slave;
        unsigned code;
        double value;
    };
    std::vector<Command> commands;

    void OnNotifyTransmition(const TransmitionItemTag& tag)
    {
        // Register 0x20, three registers: the code, then the value in BCD.
        const Bytes txd(tag.txdBegin, tag.txdEnd);
        if (tag.begin && tag.cmd == 0x16 && txd.size() == 11)
            commands.push_back({tag.slave, unsigned(txd[5] << 8 | txd[6]), BcdToDouble(&txd[7])});
    }
};

std::string capturedConsole;
void CaptureConsole(const std::string& text) { capturedConsole += text; }

bool WaitForValue(TForm1& f, int col)
{
    return PumpUntil([&] { return !f.grd1->Cell(col, kValueRow).isEmpty(); });
}

std::vector<std::string> VisibleWaitPanels()
{
    std::vector<std::string> captions;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "FrmWait" && w->isVisible())
            if (const auto* label = w->findChild<QLabel*>("Panel2"))
                captions.push_back(label->text().toStdString());
    return captions;
}

bool ArchiveShown(TForm1& f)
{
    const ArchiveWindow* w = f.findChild<ArchiveWindow*>();
    return w && w->isVisible();
}

class CommandsSimTest : public CommandsTest {
protected:
    // The window polling the instrument at address 1, as after the first
    // activation, with the first value shown.
    TForm1& PollingForm()
    {
        TForm1& f = Form();
        f.StartInitializeDevice();
        EXPECT_TRUE(PumpUntil([&] { return f.grd1->ColCount() == 2; })) << "no channel list";
        EXPECT_TRUE(WaitForValue(f, 1)) << "no value";
        return f;
    }
};

TEST_F(CommandsSimTest, SearchFindsTheInstrumentsAndThePollingResumes)
{
    SimLine sim({"--address", "1,3", "--mask", "0x0001", "--still"});
    TForm1& f = PollingForm();

    ModalScript user;
    user.Enter("1-3")
        .InterruptSearchWhen([] { return FormOpros->Edit2->text() == "1-3"; })
        .Ok();
    f.N5->trigger();

    ASSERT_EQ(user.Result().size(), 3u);
    EXPECT_EQ(user.Result()[2], Message("Поиск по адресам завершён.\nОпрошено\t-\t1-3.\nОтветили\t-\t1 "
                                        "3.\nНе ответили\t-\t2.\n"));
    EXPECT_EQ(f.Address(), 1);
    EXPECT_TRUE(TransferManagerT::Instance().IsThreadRunning());
    f.grd1->SetCell(1, kValueRow, QString());
    EXPECT_TRUE(WaitForValue(f, 1)) << "the polling did not resume";
}

TEST_F(CommandsSimTest, ZeroCorrectionReachesTheInstrumentAndShiftsItsValues)
{
    SimLine sim({"--mask", "0x0001", "--still"});
    TForm1& f = PollingForm();
    SentCommands sent;
    const auto connection =
        TransferManagerT::Instance().ConnectNotifyTransmition(sent, &SentCommands::OnNotifyTransmition);
    const std::pair<double, bool> before = ParseDouble(f.grd1->Cell(1, kValueRow).toStdString());
    ASSERT_TRUE(before.second);
    const QString corrected = QString::fromStdString(TForm1::FormatValue(before.first - 0.5));

    // Both decimal separators; the instrument keeps the latest correction.
    for (const char* entry : {"0,5", "0.5"}) {
        ModalScript user;
        user.Enter(entry);
        f.N9->trigger();
        EXPECT_TRUE(user.Finished()) << entry;
        EXPECT_TRUE(PumpUntil([&] { return sent.commands.size() == 1 + (entry[1] == '.'); })) << entry;
        f.grd1->SetCell(1, kValueRow, QString());
        EXPECT_TRUE(PumpUntil([&] { return f.grd1->Cell(1, kValueRow) == corrected; }))
            << entry << ": " << f.grd1->Cell(1, kValueRow).toStdString();
    }
    ASSERT_EQ(sent.commands.size(), 2u);
    for (const SentCommands::Command& c : sent.commands) {
        EXPECT_EQ(c.slave, 1u);
        EXPECT_EQ(c.code, 1u);
        EXPECT_EQ(c.value, 0.5);
    }
}

TEST_F(CommandsSimTest, ArchiveIsSavedBesideTheProgramAndShownInTheArchiveWindow)
{
    TempDir dir;
    const std::string sent = dir.File("sent.bin");
    // A fast line, and a silence long enough that the sleeps pacing the
    // simulator on a busy machine do not cut the answer in two.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    SimLine sim({"--archive-out", sent, "--baud", "115200", "--mask", "0x0001", "--still"});
    FileUrlCatcher desktop;
    TForm1& f = Form();

    f.N2->trigger();
    std::set<std::string> panels;
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (const std::string& p : VisibleWaitPanels())
                panels.insert(p);
            return ArchiveShown(f);
        },
        60));

    EXPECT_TRUE(panels.count("КАЛИСТ-8: Запрос архива...")) << "no wait window";
    const std::string archive = ReadBytes(GetExeDir() + "archive.bin");
    EXPECT_EQ(archive.size(), ARCHIVE_SIZE);
    EXPECT_EQ(archive, ReadBytes(sent));
    EXPECT_TRUE(FileExists(GetExeDir() + "archive.txt"));
    // The text goes to the desktop's program from the window, on request.
    EXPECT_TRUE(desktop.urls.isEmpty());
    ArchiveWindow* window = f.findChild<ArchiveWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Table()->rowCount(),
              static_cast<int>(DecodeArchive(reinterpret_cast<const uint8_t*>(archive.data()),
                                             reinterpret_cast<const uint8_t*>(archive.data()) + archive.size())
                                   .size()));
    EXPECT_GT(window->Table()->rowCount(), 0);
    window->OpenTextButton()->click();
    ASSERT_EQ(desktop.urls.size(), 1);
    EXPECT_EQ(desktop.urls[0].toLocalFile().toStdString(), GetExeDir() + "archive.txt");

    // Its own copy, named after the address, stays when the next one comes.
    const QStringList copies = QDir(QString::fromStdString(GetExeDir() + "Archives")).entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 1) << copies.join(' ').toStdString();
    EXPECT_TRUE(QRegularExpression("^1_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.bin$").match(copies[0]).hasMatch())
        << copies[0].toStdString();
    EXPECT_EQ(ReadBytes(GetExeDir() + "Archives/" + copies[0].toStdString()), archive);
}

// The program folder will not take the files (here a directory stands where
// "archive.bin" should go): the user is told, and the desktop is not asked
// to open a text file that was not written.
TEST_F(CommandsSimTest, ArchiveThatCannotBeWrittenIsReportedAndNotOpened)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    SimLine sim({"--baud", "115200", "--mask", "0x0001", "--still"});
    const std::string blocked = GetExeDir() + "archive.bin";
    ASSERT_TRUE(std::filesystem::create_directory(blocked));
    capturedConsole.clear();
    SetConsoleSink(&CaptureConsole);
    const std::string& console = capturedConsole;
    FileUrlCatcher desktop;
    TForm1& f = Form();

    const std::string message = "Архив не сохранён: не удалось записать \"" + blocked + "\"!";
    // Polling goes on after the archive, as with any instrument that has
    // channels: a worker that ran out of work would clear the status panels
    // with its stop report.
    TransferManagerT::Instance().AddTask(new DevTask::ReadChanal(0), true);
    f.N2->trigger();
    const bool told = PumpUntil([&] { return console.find(message) != std::string::npos; }, 60);
    SetConsoleSink([](const std::string&) {});
    std::filesystem::remove(blocked);
    ASSERT_TRUE(told) << console;
    EXPECT_NE(console.find("Ошибка - " + message + "\n"), std::string::npos) << console;
    EXPECT_EQ(f.StatusPanel(3)->text().toStdString(), message);
    EXPECT_TRUE(desktop.urls.isEmpty());
    EXPECT_FALSE(FileExists(GetExeDir() + "archive.txt"));
}

} // namespace
} // namespace commands_test

#include "wtest_commands_sim.moc"
