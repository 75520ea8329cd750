// The main window as a real widget: its settings in "form1.ini" and
// "config.ini" beside the test program, the channel table built from a
// channel list and the catalogue beside the program, the tasks it queues in
// the real engine, and how it shows the engine's reports. The window is not
// shown: its first activation would start the polling. The test program has
// its folder to itself (see form1.cmake).
#include "form1/QueuedTasks.h"
#include "TestUtils.h"

#include "DevSys/TransferManage.h"
#include "DevSys/task_.h"
#include "Application/ConsolePrint.h"
#include "Excpt/MyExeption.h"
#include "PortDoctor/PortDoctor.h"
#include "ProgramFiles.h"
#include "Unit1.h"
#include "uFormOpros.h"
#include "ValueText.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/StringGrid.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

const char* const kSettingsFiles[] = {"form1.ini", "config.ini", "comm.ini"};

std::string Text(const QLabel* label) { return label->text().toStdString(); }
QColor TextColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

void SetTextColor(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

std::vector<std::string> Column(const my::StringGrid& grd, int col)
{
    std::vector<std::string> cells;
    for (int row = 0; row < grd.RowCount(); ++row)
        cells.push_back(grd.Cell(col, row).toStdString());
    return cells;
}

// Records the channels that ReadChanal tasks report to their window.
class ChanalRecorder final : public DevTask::DeviceWindow {
public:
    int32_t Address() const override { return 1; }
    void UpdateChanalValue(unsigned nChanal, double) override { chanals.push_back(nChanal); }
    void UpdateChanals(const ModbusChanals&) override {}
    void SaveArchive(const uint8_t*, const uint8_t*) override {}

    std::vector<unsigned> chanals;
};

// The channels the queued tasks read, in queue order; every task must be a
// channel reading. The tasks tell their channel when they hand a value over.
std::vector<unsigned> QueuedChanalReadings(DevTask::DeviceWindow* window)
{
    ChanalRecorder recorder;
    DevTask::SetDeviceWindow(&recorder);
    for (const PMyAbstructTransfer& task : TakeQueuedTasks()) {
        EXPECT_TRUE(dynamic_cast<DevTask::ReadChanal*>(task.get()));
        task->AfterTransfer();
    }
    DevTask::SetDeviceWindow(window);
    return recorder.chanals;
}

// What the window was given, shown as the next repaints would show it.
void ShowFrames(TForm1& f)
{
    while (f.ShowNextFrame()) {
    }
}

// Painting measures the texts; the columns widen right after it, and the
// cells that then come into view are measured at the next painting.
void PaintUntilWidthsSettle(TForm1& f)
{
    std::vector<int> widths;
    for (int pass = 0; pass < 20; ++pass) {
        f.grab();
        QCoreApplication::processEvents();
        std::vector<int> now;
        for (int col = 0; col < f.grd1->ColCount(); ++col)
            now.push_back(f.grd1->ColWidth(col));
        if (now == widths)
            return;
        widths = now;
    }
    ADD_FAILURE() << "the column widths do not settle";
}

ModbusChanalTag Chanal(uint32_t number, uint32_t quantity, uint32_t scale, uint32_t unit)
{
    return ModbusChanalTag{number, quantity, scale, unit};
}

// Each test starts without settings files, as a fresh program folder.
class Form1Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kSettingsFiles)
            std::remove(Ini(name).c_str());
    }

    void TearDown() override
    {
        form_.reset();
        TransferManagerT::DeleteInstance();
    }

    static std::string Ini(const char* name) { return GetExeDir() + name; }
    static void PutIni(const char* name, const std::string& utf8) { WriteBytes(Ini(name), WinText(utf8)); }

    TForm1& Form()
    {
        if (!form_)
            form_.reset(new TForm1);
        return *form_;
    }

    // Destroys the window, which saves its settings.
    void CloseForm() { form_.reset(); }

    std::unique_ptr<TForm1> form_;
};

TEST_F(Form1Test, WithoutSettingsFilesTheDefaultsApply)
{
    TForm1& f = Form();
    EXPECT_EQ(f.windowTitle().toStdString(), "КАЛИСТ-8");
    EXPECT_EQ(f.Address(), 1);
    EXPECT_EQ(Text(f.Label8), "1");
    EXPECT_EQ(Text(f.Label7), "Адрес прибора:");
    EXPECT_EQ(Text(f.Label2), "Установка связи...");
    EXPECT_EQ(Text(f.Label11), "...");
    EXPECT_EQ(TextColor(f.Label7), QColor(0, 0, 128));
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(f.StatusPanelWidth(i), 50) << "panel " << i;

    my::StringGrid& grd = *f.grd1;
    EXPECT_EQ(grd.ColCount(), 1);
    EXPECT_EQ(Column(grd, 0),
              (std::vector<std::string>{"Канал", "Шкала", "Измеряемая величина", "Единицы измерения", "Значение"}));
    EXPECT_EQ(grd.ColWidth(0), 350);
    EXPECT_EQ(grd.DefaultColWidth(), 5);
    EXPECT_EQ(grd.DefaultRowHeight(), 50);
    EXPECT_EQ(grd.FixedRows(), 1);
    EXPECT_EQ(grd.FixedCols(), 0);
    EXPECT_EQ(grd.FixedColor(), QColor(0xE3, 0xE3, 0xE3));
    EXPECT_EQ(grd.Color(), QColor(Qt::white));
    EXPECT_EQ(grd.font().pixelSize(), 23);
    EXPECT_TRUE(TransferManagerT::Instance().Tasks().IsEmpty());
}

TEST_F(Form1Test, MenusCarryTheirNamesAndCaptions)
{
    TForm1& f = Form();
    struct Item {
        const char* name;
        const char* caption;
        const char* menu;
    };
    const Item items[] = {
        {"N6", "Выход", "N8"},
        {"menuOpenArchive", "Открыть архив...", "N8"},
        {"menuRecord", "Запись в файл", "N8"},
        {"N3", "СОМ порт...", "N4"},
        {"N5", "Поиск по адресам...", "N1"},
        {"N9", "Корректировка нулевых показаний...", "N1"},
        {"N7", "Изменить адрес...", "N1"},
        {"N2", "Архив измерений...", "N1"},
        {"menuConsole", "Консоль", "N1"},
        {"menuTrends", "Тренды", "N1"},
        {"menuShowDetail", "Показать отдельно", "PopupMenu1"},
    };
    for (const Item& item : items) {
        auto* action = f.findChild<QAction*>(QString::fromLatin1(item.name));
        ASSERT_TRUE(action) << item.name;
        EXPECT_EQ(action->text().toStdString(), item.caption) << item.name;
        auto* menu = f.findChild<QMenu*>(QString::fromLatin1(item.menu));
        ASSERT_TRUE(menu) << item.menu;
        EXPECT_TRUE(menu->actions().contains(action)) << item.name << " in " << item.menu;
    }
    std::vector<std::string> bar;
    for (QAction* a : f.MainMenu1->actions())
        bar.push_back(a->text().toStdString());
    EXPECT_EQ(bar, (std::vector<std::string>{"Файл", "Настройки", "Инструменты"}));
    // "СОМ" of the port item is Cyrillic, not Latin "COM".
    EXPECT_EQ(f.N3->text().left(3), QString::fromUtf8("\u0421\u041E\u041C"));
}

TEST_F(Form1Test, StoredSettingsApplyAndWidthsOutOfRangeAreIgnored)
{
    PutIni("form1.ini", "[STATUS_PANEL]\n0=49\n1=2001\n2=120\n3=abc\n"
                        "[ширина столбца]\n0=200\n2=77\n");
    PutIni("config.ini", "[MAIN]\nАдрес=127\n");
    TForm1& f = Form();
    EXPECT_EQ(f.StatusPanelWidth(0), 50);
    EXPECT_EQ(f.StatusPanelWidth(1), 50);
    EXPECT_EQ(f.StatusPanelWidth(2), 120);
    EXPECT_EQ(f.grd1->ColWidth(0), 200);
    EXPECT_EQ(f.Address(), 127);
    EXPECT_EQ(Text(f.Label8), "127");

    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3), Chanal(2, 2, 2, 3)});
    EXPECT_EQ(f.grd1->ColWidth(1), 5);
    EXPECT_EQ(f.grd1->ColWidth(2), 77);
    EXPECT_EQ(f.grd1->ColWidth(3), 5);
    QueuedChanalReadings(&f);
}

// An address nobody can have: polling it would be a broadcast.
class StoredAddressTest : public Form1Test, public ::testing::WithParamInterface<const char*> {};

TEST_P(StoredAddressTest, OutsideTheRangeReadsAsOneAndIsWrittenBack)
{
    PutIni("config.ini", std::string("[MAIN]\nАдрес=") + GetParam() + "\n");
    TForm1& f = Form();
    EXPECT_EQ(f.Address(), 1);
    EXPECT_EQ(Text(f.Label8), "1");
    CloseForm();
    const std::string config = ReadBytes(Ini("config.ini"));
    EXPECT_NE(config.find(WinText("[MAIN]\nАдрес=1\n")), std::string::npos) << config;
}

INSTANTIATE_TEST_SUITE_P(Addresses, StoredAddressTest, ::testing::Values("0", "128", "256", "-1", "abc"));

// What a window manager that prevents focus stealing does to a window
// started from a terminal: it never becomes active.
class ActivationEater : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::WindowActivate; }
};

std::string consoleText;

TEST_F(Form1Test, PollingStartsWhenTheWindowIsFirstShownEvenWithoutActivationAndOnlyOnce)
{
    consoleText.clear();
    SetConsoleSink([](const std::string& text) { consoleText += text; });
    TForm1& f = Form();
    ActivationEater eater;
    f.installEventFilter(&eater);
    EXPECT_FALSE(TransferManagerT::Instance().IsThreadRunning());

    f.show();
    EXPECT_TRUE(TransferManagerT::Instance().IsThreadRunning());

    // Shown again and at last activated: nothing starts anew.
    f.hide();
    f.show();
    f.removeEventFilter(&eater);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&f, &activate);
    TransferManagerT::Instance().StopThread();
    SetConsoleSink(nullptr);
    size_t starts = 0;
    for (size_t pos = 0; (pos = consoleText.find("Form1->FormActivate.\n", pos)) != std::string::npos; ++pos)
        ++starts;
    EXPECT_EQ(starts, 1u) << consoleText;
    const std::vector<PMyAbstructTransfer> tasks = TakeQueuedTasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_TRUE(dynamic_cast<DevTask::InitializeDevice*>(tasks[0].get()));
}

// The offscreen screen is 800 pixels wide: smaller than the designed window
// and far smaller than panels stored on a large monitor.
TEST_F(Form1Test, WindowShownFitsTheScreenWhateverItsStoredPanelWidths)
{
    const struct {
        const char* form1;
    } cases[] = {{""}, {"[STATUS_PANEL]\n0=2000\n1=2000\n2=2000\n"}};
    for (const auto& c : cases) {
        PutIni("form1.ini", c.form1);
        TForm1& f = Form();
        f.show();
        QCoreApplication::processEvents();
        const QRect available = f.screen()->availableGeometry();
        EXPECT_LE(f.minimumSizeHint().width(), available.width()) << c.form1;
        EXPECT_TRUE(available.contains(f.frameGeometry()))
            << c.form1 << f.frameGeometry().width() << "x" << f.frameGeometry().height();
        TransferManagerT::Instance().StopThread();
        CloseForm();
        TransferManagerT::DeleteInstance();
    }
}

TEST_F(Form1Test, DraggingASplitterPastTheBarsEndNeverWidensTheWindow)
{
    TForm1& f = Form();
    f.resize(700, 500);
    f.show();
    TransferManagerT::Instance().StopThread();
    QCoreApplication::processEvents();
    const int windowWidth = f.width();
    auto* splitter = f.findChild<QWidget*>("Splitter3");
    ASSERT_TRUE(splitter);
    const QPointF at(2, 5);
    const QPointF global = splitter->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(splitter, &press);
    const QPointF far = global + QPointF(5000, 0);
    QMouseEvent move(QEvent::MouseMove, at + QPointF(5000, 0), far, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(splitter, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, at + QPointF(5000, 0), far, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(splitter, &release);
    QCoreApplication::processEvents();

    EXPECT_EQ(f.width(), windowWidth);
    // The panel took the room there was, and no more.
    EXPECT_GT(f.StatusPanelWidth(1), 50);
    EXPECT_LE(f.Panel9->width() + f.Panel10->width() + f.Panel11->width() + 14, f.panelStatus->width());
}

TEST_F(Form1Test, ChanalListFillsTheTableAndQueuesOneReadingPerChanal)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 9999, 9999, 9999), Chanal(5, 1, 1, 1)});

    my::StringGrid& grd = *f.grd1;
    ASSERT_EQ(grd.ColCount(), 4);
    EXPECT_EQ(grd.RowCount(), 5);
    EXPECT_EQ(Column(grd, 1), (std::vector<std::string>{"0", "0-50", "CO", "мг/м3", ""}));
    EXPECT_EQ(Column(grd, 2), (std::vector<std::string>{"1", "...", "9999", "9999", ""}));
    EXPECT_EQ(Column(grd, 3), (std::vector<std::string>{"5", "0-100", "CH4", "% НКПР", ""}));
    EXPECT_EQ(QueuedChanalReadings(&f), (std::vector<unsigned>{0, 1, 5}));
    // The thread is left as it was: the list is handed to the running worker.
    EXPECT_FALSE(TransferManagerT::Instance().IsThreadRunning());
}

TEST_F(Form1Test, LaterChanalListReplacesEveryChanalColumn)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3), Chanal(2, 2, 2, 3)});
    f.UpdateChanalValue(0, 1.5);
    QueuedChanalReadings(&f);

    f.UpdateChanals({Chanal(4, 1, 1, 1)});
    ASSERT_EQ(f.grd1->ColCount(), 2);
    EXPECT_EQ(Column(*f.grd1, 1), (std::vector<std::string>{"4", "0-100", "CH4", "% НКПР", ""}));
    EXPECT_EQ(QueuedChanalReadings(&f), (std::vector<unsigned>{4}));
}

TEST_F(Form1Test, EmptyChanalListLeavesOnlyTheTitleColumn)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3)});
    QueuedChanalReadings(&f);

    f.UpdateChanals({});
    EXPECT_EQ(f.grd1->ColCount(), 1);
    EXPECT_EQ(Column(*f.grd1, 0)[0], "Канал");
    EXPECT_TRUE(TransferManagerT::Instance().Tasks().IsEmpty());
}

TEST_F(Form1Test, ValuesGoToTheirChanalsColumnAndOthersAreDropped)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3)});
    QueuedChanalReadings(&f);

    f.UpdateChanalValue(1, 1.23456789);
    ShowFrames(f);
    EXPECT_EQ(f.grd1->Cell(2, 4).toStdString(), TForm1::FormatValue(1.23456789));
    EXPECT_EQ(f.grd1->Cell(1, 4).toStdString(), "");

    // Channel 2 would be column 3, which this instrument does not have.
    f.UpdateChanalValue(2, 7);
    f.UpdateChanalValue(UINT_MAX, 7);
    ShowFrames(f);
    EXPECT_EQ(f.grd1->ColCount(), 3);
    for (int col = 0; col < 3; ++col)
        EXPECT_NE(f.grd1->Cell(col, 4).toStdString(), TForm1::FormatValue(7)) << "column " << col;
}

TEST_F(Form1Test, ChanalColumnsWidenToTheirTextAndTheTitleColumnDoesNot)
{
    TForm1& f = Form();
    f.resize(1200, 700);
    f.UpdateChanals({Chanal(0, 9, 2, 3), Chanal(1, 2, 2, 3)});
    f.UpdateChanalValue(0, 123.456);
    QueuedChanalReadings(&f);
    PaintUntilWidthsSettle(f);

    EXPECT_EQ(f.grd1->ColWidth(0), 350);
    const QFontMetrics fm(f.grd1->font());
    EXPECT_GE(f.grd1->ColWidth(1), fm.horizontalAdvance(QString::fromUtf8("Температура")));
    EXPECT_GT(f.grd1->ColWidth(2), 5);
}

TEST_F(Form1Test, TitlesAreNavyAndValuesBlue)
{
    TForm1& f = Form();
    f.resize(1200, 700);
    f.UpdateChanals({Chanal(0, 2, 2, 3)});
    f.UpdateChanalValue(0, 888.888);
    QueuedChanalReadings(&f);
    PaintUntilWidthsSettle(f);
    const QImage image = f.grd1->viewport()->grab().toImage();

    const auto hasPixel = [&](int col, int row, const QColor& c) {
        const QRect r = f.grd1->CellRect(col, row);
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixelColor(x, y) == c)
                    return true;
        return false;
    };
    const QColor navy(0, 0, 128), blue(0, 0, 255);
    EXPECT_TRUE(hasPixel(0, 1, navy));
    EXPECT_FALSE(hasPixel(0, 1, blue));
    EXPECT_TRUE(hasPixel(1, 4, blue));
    EXPECT_FALSE(hasPixel(1, 2, blue));
    EXPECT_FALSE(hasPixel(1, 2, navy));
}

// The separator the user's locale gives is pinned in child processes below.
TEST(Form1FormatValueTest, ThreeDecimalsCutAfterRoundingToEight)
{
    struct Case {
        double v;
        const char* comma;
        const char* point;
    };
    const Case cases[] = {
        {1.23456789, "1,234", "1.234"},
        {-0.0004, "-0,000", "-0.000"},
        {999999, "999999,000", "999999.000"},
        {2.9999999951, "3,000", "3.000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatValueWith(c.v, ","), c.comma) << c.v;
        EXPECT_EQ(FormatValueWith(c.v, "."), c.point) << c.v;
    }
}

TEST(Form1FormatValueTest, FollowsTheLocaleOfTheProcess)
{
    const struct {
        const char* locale;
        const char* expected;
    } locales[] = {{"ru_RU.UTF-8", "1,234"}, {"C", "1.234"}};
    for (const auto& l : locales) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", l.locale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KALIST8_EXPECTED_VALUE_TEXT", l.expected);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=Form1FormatValueChild.*", "--gtest_also_run_disabled_tests"});
        ASSERT_TRUE(child.waitForFinished(60000)) << l.locale;
        const std::string out = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << l.locale << "\n" << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << l.locale << "\n" << out;
    }
}

// Runs only as the child of the test above.
TEST(Form1FormatValueChild, DISABLED_ValueTextInThisLocale)
{
    const char* expected = std::getenv("KALIST8_EXPECTED_VALUE_TEXT");
    ASSERT_TRUE(expected);
    EXPECT_EQ(TForm1::FormatValue(1.23456789), expected);
}

TEST_F(Form1Test, StatusTextIsAlsoTheTooltip)
{
    TForm1& f = Form();
    const std::string text = "COM1 (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0)";
    f.SetStatusText(2, text);
    ShowFrames(f);
    EXPECT_EQ(Text(f.Panel11), text);
    EXPECT_EQ(f.Panel11->toolTip().toStdString(), text);
}

// Why the port does not open, with its fix, waits over the error panel; it
// is shown again after starting the polling cleared the panels.
TEST_F(Form1Test, PortAdviceIsTheTooltipOfTheErrorPanel)
{
    TempDir config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.Path());
    ScopedEnv com8("KALIST8_COM8", "");
    TForm1& f = Form();
    std::vector<std::string> printed;
    my::PortDoctor::PortAdvisor advisor([&](const std::string& line) { printed.push_back(line); });
    const PMyExcpt notPresent(new MyException(FileLine(1, "CommUtils.cpp"),
                                              "COM-порт c символическим именем \"COM8\" не представлен в системе!"));
    advisor.OpenFailed(8, notPresent);
    ASSERT_EQ(printed.size(), 1u);
    ShowFrames(f);
    const std::string advice = printed[0].substr(0, printed[0].size() - 1);
    EXPECT_EQ(advice.rfind("COM8 не сопоставлен никакому устройству", 0), 0u) << advice;
    EXPECT_EQ(f.Panel12->toolTip().toStdString(), advice);

    f.OnReportState(4, "Опрос: старт");
    ShowFrames(f);
    EXPECT_EQ(f.Panel12->toolTip().toStdString(), "");
    advisor.OpenFailed(8, notPresent);
    ShowFrames(f);
    EXPECT_EQ(printed.size(), 1u);
    EXPECT_EQ(f.Panel12->toolTip().toStdString(), advice);

    advisor.Opened(8, 10);
    ShowFrames(f);
    EXPECT_EQ(f.Panel12->toolTip().toStdString(), "");
}

// What every state report changes, starting from the same texts and colours.
TEST_F(Form1Test, StateReportsChangeLabelsColoursAndPanels)
{
    const QColor black(0, 0, 0), red(255, 0, 0);
    struct Seen {
        std::string label11;
        QColor label11Color;
        std::string label2;
        QColor label2Color;
        std::vector<std::string> panels;
        bool operator==(const Seen&) const = default;
    };
    const Seen start{"старое", red, "Связь установлена", black, {"p0", "p1", "p2", "p3"}};
    struct Case {
        unsigned code;
        const char* text;
        Seen expected;
    };
    const Case cases[] = {
        {0, "Запрос измеряемой величины...",
         {"Запрос измеряемой величины...", black, "Связь установлена", black,
          {"Запрос измеряемой величины...", "p1", "p2", "p3"}}},
        {1, "Запрос измеряемой величины...",
         {"Измерение", black, "Связь установлена", black, {"p0", "Ok", "p2", "p3"}}},
        {2, "COM1", {"старое", red, "Связь установлена", black, {"p0", "p1", "COM1", "p3"}}},
        {3, "Нет ответа",
         {"Ошибка приёмопередачи", red, "Связи нет", red, {"p0", "Нет ответа", "p2", "p3"}}},
        {4, "Опрос: старт", {"старое", red, "Связь установлена", black, {"Опрос: старт", "", "", ""}}},
        {5, "Опрос остановлен", {"старое", red, "Связь установлена", black, {"Опрос остановлен", "", "", ""}}},
        {6, "шесть", start},
        {100, "сто", start},
    };
    TForm1& f = Form();
    for (const Case& c : cases) {
        f.Label11->setText(QString::fromStdString(start.label11));
        SetTextColor(f.Label11, start.label11Color);
        f.Label2->setText(QString::fromStdString(start.label2));
        SetTextColor(f.Label2, start.label2Color);
        for (unsigned i = 0; i < STATUS_PNLS_COUNT; ++i)
            f.SetStatusText(i, start.panels[i]);

        f.OnReportState(c.code, c.text);
        ShowFrames(f);

        Seen seen{Text(f.Label11), TextColor(f.Label11), Text(f.Label2), TextColor(f.Label2), {}};
        for (unsigned i = 0; i < STATUS_PNLS_COUNT; ++i)
            seen.panels.push_back(Text(f.StatusPanel(i)));
        EXPECT_TRUE(seen == c.expected) << "code " << c.code << ": " << seen.label11 << " / " << seen.label2 << " / "
                                        << seen.panels[0] << "|" << seen.panels[1] << "|" << seen.panels[2] << "|"
                                        << seen.panels[3];
    }
    EXPECT_EQ(TextColor(f.Panel12), red);
    EXPECT_TRUE(f.Panel12->font().bold());
}

// Finished exchanges also go to the search window, searching or not.
TEST_F(Form1Test, AnsweredExchangeMarksTheLinkAsUp)
{
    TForm1& f = Form();
    f.OnReportState(3, "Нет ответа");
    ShowFrames(f);
    const uint8_t request[] = {1, 3, 0, 0, 0, 2};

    TransmitionItemTag item{1, 3, request, request + sizeof request, nullptr, nullptr, true, false, true};
    f.OnNotifyTransmition(item); // before the exchange
    EXPECT_EQ(FormOpros->Edit2->text().toStdString(), "");
    item.begin = false;
    item.done = true;
    f.OnNotifyTransmition(item); // no answer
    ShowFrames(f);
    EXPECT_EQ(Text(f.Label2), "Связи нет");
    EXPECT_EQ(TextColor(f.Label2), QColor(255, 0, 0));
    EXPECT_EQ(FormOpros->Edit5->text().toStdString(), "1");

    item.slave = 2;
    item.error = false;
    f.OnNotifyTransmition(item);
    ShowFrames(f);
    EXPECT_EQ(Text(f.Label2), "Связь установлена");
    EXPECT_EQ(TextColor(f.Label2), QColor(0, 0, 0));
    EXPECT_EQ(FormOpros->Edit4->text().toStdString(), "2");
    EXPECT_EQ(FormOpros->Edit2->text().toStdString(), "1-2");
}

// The window does its work once per frame: of all a frame was given, each
// place shows the last text, and one frame shows it all.
TEST_F(Form1Test, WithinAFrameTheLastTextOfEachPlaceWins)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3)});
    QueuedChanalReadings(&f);
    const uint8_t request[] = {1, 3, 0, 0, 0, 2};
    const TransmitionItemTag answered{1, 3, request, request + sizeof request, request, request, false, true, false};
    for (int i = 0; i < 10; ++i) {
        f.OnReportState(0, "Запрос измеряемой величины...");
        f.OnNotifyTransmition(answered);
        f.UpdateChanalValue(i % 2, i);
        f.OnReportState(1, "Запрос измеряемой величины...");
    }
    EXPECT_EQ(Text(f.Label11), "...") << "nothing is shown before the frame";
    EXPECT_FALSE(f.ShowNextFrame()) << "all in one frame";
    EXPECT_EQ(Text(f.Label11), "Измерение");
    EXPECT_EQ(Text(f.Label2), "Связь установлена");
    EXPECT_EQ(Text(f.Panel9), "Запрос измеряемой величины...");
    EXPECT_EQ(Text(f.Panel10), "Ok");
    EXPECT_EQ(f.grd1->Cell(1, 4).toStdString(), TForm1::FormatValue(8));
    EXPECT_EQ(f.grd1->Cell(2, 4).toStdString(), TForm1::FormatValue(9));
}

// An error is never merged away: the frame that holds it is shown as it
// is, and what came after it waits for the next frame.
TEST_F(Form1Test, AnErrorIsShownInAFrameOfItsOwn)
{
    const QColor black(0, 0, 0), red(255, 0, 0);
    const uint8_t request[] = {1, 3, 0, 0, 0, 2};
    const TransmitionItemTag answered{1, 3, request, request + sizeof request, request, request, false, true, false};
    struct Case {
        const char* name;
        std::function<void(TForm1&)> error;
        std::function<void(TForm1&)> check;
    };
    const Case cases[] = {
        {"failed exchange",
         [](TForm1& f) { f.OnReportState(3, "Прибор 1: не отвечает"); },
         [&](TForm1& f) {
             EXPECT_EQ(Text(f.Label11), "Ошибка приёмопередачи");
             EXPECT_EQ(TextColor(f.Label11), red);
             EXPECT_EQ(Text(f.Label2), "Связи нет");
             EXPECT_EQ(TextColor(f.Label2), red);
             EXPECT_EQ(Text(f.Panel10), "Прибор 1: не отвечает");
         }},
        {"red panel",
         [](TForm1& f) { f.SetStatusText(3, "Архив не сохранён"); },
         [](TForm1& f) { EXPECT_EQ(Text(f.Panel12), "Архив не сохранён"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TForm1& f = Form();
        f.OnReportState(0, "Запрос измеряемой величины...");
        c.error(f);
        // A stop right after it clears the panels, and a new start follows.
        f.OnReportState(5, "Опрос остановлен");
        f.OnReportState(4, "Опрос: старт");
        f.OnReportState(0, "Инициализация...");
        f.OnNotifyTransmition(answered);

        EXPECT_TRUE(f.ShowNextFrame()) << "the rest waits";
        c.check(f);
        EXPECT_FALSE(f.ShowNextFrame());
        EXPECT_EQ(Text(f.Label11), "Инициализация...");
        EXPECT_EQ(TextColor(f.Label11), black);
        EXPECT_EQ(Text(f.Label2), "Связь установлена");
        EXPECT_EQ(TextColor(f.Label2), black);
        EXPECT_EQ(Text(f.Panel9), "Инициализация...");
        for (QLabel* panel : {f.Panel10, f.Panel11, f.Panel12})
            EXPECT_EQ(Text(panel), "");
        CloseForm();
    }
}

// Values read for the table of another instrument never turn up in the new
// one, even when they were not shown before its channel list came.
TEST_F(Form1Test, ValuesNotYetShownAreDroppedWithTheirTable)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3)});
    QueuedChanalReadings(&f);
    f.UpdateChanalValue(1, 5);
    f.UpdateChanals({Chanal(1, 1, 1, 1)});
    QueuedChanalReadings(&f);
    f.UpdateChanalValue(0, 6); // no longer shown
    ShowFrames(f);
    EXPECT_EQ(f.grd1->Cell(1, 4).toStdString(), "");
    f.UpdateChanalValue(1, 7);
    ShowFrames(f);
    EXPECT_EQ(f.grd1->Cell(1, 4).toStdString(), TForm1::FormatValue(7));
}

TEST_F(Form1Test, ClosingWritesLayoutAndAddressInWindows1251)
{
    PutIni("config.ini", "[MAIN]\nАдрес=42\n");
    PutIni("form1.ini", "[ширина столбца]\n5=42\n");
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3)});
    QueuedChanalReadings(&f);
    f.grd1->SetColWidth(1, 123);
    f.Panel10->setFixedWidth(77);
    CloseForm();

    const std::string config = ReadBytes(Ini("config.ini"));
    EXPECT_NE(config.find(WinText("[MAIN]\nАдрес=42\n")), std::string::npos) << config;
    const std::string form1 = ReadBytes(Ini("form1.ini"));
    for (const char* expected : {"[ширина столбца]\n", "0=350\n", "1=123\n", "2=5\n", "5=42\n", "[STATUS_PANEL]\n",
                                 "0=50\n1=77\n2=50\n3=", "[FORM1]\n", "rcNormalPosition"})
        EXPECT_NE(form1.find(WinText(expected)), std::string::npos) << expected << " in\n" << form1;
}

// What one run leaves behind is what the next one shows: the keys the
// window writes are the keys it reads. The window is placed where the
// default never puts it, well inside the 800x600 offscreen screen.
TEST_F(Form1Test, LayoutAndAddressWrittenByOneRunAreWhatTheNextRunShows)
{
    struct AddressedForm : TForm1 {
        using TForm1::SetAddress;
    };
    const ModbusChanals chanals = {Chanal(0, 2, 2, 3), Chanal(1, 2, 2, 3), Chanal(2, 2, 2, 3)};
    QRect placed;
    {
        AddressedForm first;
        first.show();
        TransferManagerT::Instance().StopThread();
        TakeQueuedTasks();
        first.move(40, 30);
        first.resize(620, 450);
        QCoreApplication::processEvents();
        placed = first.frameGeometry();
        // Hidden, nothing paints: painting would widen the columns.
        first.hide();
        first.UpdateChanals(chanals);
        QueuedChanalReadings(&first);
        first.SetAddress(42);
        first.grd1->SetColWidth(0, 280);
        first.grd1->SetColWidth(2, 140);
        first.Panel9->setFixedWidth(120);
        first.Panel11->setFixedWidth(90);
    }
    ASSERT_EQ(placed.topLeft(), QPoint(40, 30));
    TForm1& next = Form();
    EXPECT_EQ(next.Address(), 42);
    EXPECT_EQ(Text(next.Label8), "42");
    EXPECT_EQ(next.StatusPanelWidth(0), 120);
    EXPECT_EQ(next.StatusPanelWidth(1), 50);
    EXPECT_EQ(next.StatusPanelWidth(2), 90);
    EXPECT_EQ(next.grd1->ColWidth(0), 280);
    next.UpdateChanals(chanals);
    QueuedChanalReadings(&next);
    EXPECT_EQ(next.grd1->ColWidth(1), 5);
    EXPECT_EQ(next.grd1->ColWidth(2), 140);
    // The placement is applied when the window is first shown.
    next.show();
    TransferManagerT::Instance().StopThread();
    QCoreApplication::processEvents();
    EXPECT_EQ(next.frameGeometry(), placed);
    EXPECT_EQ(next.size(), QSize(620, 450));
}

TEST_F(Form1Test, ExitClosesTheWindowAndTellsTheProgram)
{
    TForm1& f = Form();
    int closed = 0;
    QObject::connect(&f, &TForm1::Closed, [&] { ++closed; });
    f.N6->trigger();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(f.isVisible());
}

// A destructor must not throw: the failure waits for the entry point, and
// the window still lets go of everything it holds.
TEST_F(Form1Test, SettingsThatCannotBeWrittenComeOutAfterTheWindowHasGone)
{
    Form();
    ASSERT_TRUE(FormOpros);
    // A directory where the file should go: no write can replace it.
    std::filesystem::create_directory(Ini("form1.ini"));
    CloseForm();
    std::filesystem::remove(Ini("form1.ini"));

    EXPECT_EQ(FormOpros, nullptr);
    EXPECT_EQ(DevTask::GetDeviceWindow(), nullptr);
    EXPECT_THROW(TForm1::ThrowDestructionError(), PMyExcpt);
    // Reported once.
    EXPECT_NO_THROW(TForm1::ThrowDestructionError());
    // The address comes after the layout: not written either.
    EXPECT_FALSE(FileExists(Ini("config.ini")));
}

} // namespace
