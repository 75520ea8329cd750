#include "EngineTestSupport.h"

#include "WidgetTestUtils.h"

#include "DevSys/task_.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

using namespace engine_test;

namespace {

// The captions of the wait windows on screen.
std::vector<std::string> VisiblePanels()
{
    std::vector<std::string> captions;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "FrmWait" && w->isVisible())
            if (const auto* label = w->findChild<QLabel*>("Panel2"))
                captions.push_back(label->text().toStdString());
    return captions;
}

// The bar of the wait window on screen, when it shows one.
QProgressBar* VisibleBar()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "FrmWait" && w->isVisible())
            if (auto* bar = w->findChild<QProgressBar*>("pb1"); bar && bar->isVisible())
                return bar;
    return nullptr;
}

// Notes the wait window's bar as each task's turn begins: its value and
// text, or -1 when no bar shows.
struct BarsAtBegin {
    std::vector<std::pair<int, std::string>> bars;
    void OnReportState(unsigned code, const std::string&)
    {
        if (code != 0)
            return;
        const QProgressBar* bar = VisibleBar();
        bars.emplace_back(bar ? bar->value() : -1, bar ? bar->text().toStdString() : std::string());
    }
};

// The fake main window, which also notes the wait windows on screen when a
// task hands over its results.
class PanelSpyWindow : public FakeWindow {
public:
    std::vector<std::string> panelsAtResult;

    void UpdateChanals(const ModbusChanals& chanals) override
    {
        panelsAtResult = VisiblePanels();
        FakeWindow::UpdateChanals(chanals);
    }
    void SaveArchive(const uint8_t* b, const uint8_t* e) override
    {
        panelsAtResult = VisiblePanels();
        FakeWindow::SaveArchive(b, e);
    }
};

// Notes the wait windows on screen when an error is reported.
struct PanelsAtError {
    std::vector<std::string> captions;
    void OnReportState(unsigned code, const std::string&)
    {
        if (code == 3)
            captions = VisiblePanels();
    }
};

Bytes RegisterRequest(unsigned firstReg, unsigned count)
{
    return {static_cast<uint8_t>(firstReg >> 8), static_cast<uint8_t>(firstReg), static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count)};
}

std::vector<uint32_t> Numbers(const ModbusChanals& chanals)
{
    std::vector<uint32_t> numbers;
    for (const ModbusChanalTag& c : chanals)
        numbers.push_back(c.number);
    return numbers;
}

class TaskTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        DevTask::SetDeviceWindow(&spy_);
    }

    // Queues the task and runs the worker until it runs out of work.
    void RunToEnd(MyAbstructTransfer* task, bool append = true)
    {
        Engine().AddTask(task, append);
        Engine().StartThread();
        ASSERT_TRUE(WaitIdle(30));
    }

    // Runs a kept ReadChanal until it has delivered count values; the values.
    std::vector<std::pair<unsigned, double>> PollChanal(unsigned n, size_t count)
    {
        spy_.values.clear();
        Engine().AddTask(new DevTask::ReadChanal(n), true);
        Engine().StartThread();
        EXPECT_TRUE(PumpUntil([&] { return spy_.values.size() >= count; }));
        Engine().StopThread();
        Engine().Tasks().Clear();
        return spy_.values;
    }

    // The requests of the done notifications, with their answers.
    std::vector<const Recorded::Item*> Done(uint32_t cmd) const
    {
        std::vector<const Recorded::Item*> done;
        for (const Recorded::Item& i : rec_.items)
            if (i.done && i.cmd == cmd)
                done.push_back(&i);
        return done;
    }

    std::vector<std::string> StateTexts(unsigned code) const
    {
        std::vector<std::string> texts;
        for (const auto& s : rec_.states)
            if (s.first == code)
                texts.push_back(s.second);
        return texts;
    }

    PanelSpyWindow spy_;
};

} // namespace

// ---- InitializeDevice -------------------------------------------------------

struct InitCase {
    const char* name;
    const char* mask;
    std::vector<uint32_t> chanals;
    std::vector<unsigned> descriptorRegs;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << "mask " << c.mask; }

class InitializeDeviceTest : public TaskTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitializeDeviceTest, ReadsTheMaskAndTheDescriptorsOfTheChannelsItHas)
{
    const InitCase& c = GetParam();
    SimLine sim({"--mask", c.mask});
    RunToEnd(new DevTask::InitializeDevice);

    ASSERT_EQ(spy_.chanalLists.size(), 1u);
    const ModbusChanals& chanals = spy_.chanalLists[0];
    EXPECT_EQ(Numbers(chanals), c.chanals);
    EXPECT_EQ(spy_.panelsAtResult, std::vector<std::string>{"КАЛИСТ-8: Инициализация..."});

    const auto done = Done(3);
    ASSERT_EQ(done.size(), 1 + c.descriptorRegs.size());
    EXPECT_EQ(done[0]->txd, RegisterRequest(52, 1));
    for (size_t i = 0; i < c.descriptorRegs.size() && i < chanals.size(); ++i) {
        SCOPED_TRACE(c.descriptorRegs[i]);
        EXPECT_EQ(done[i + 1]->txd, RegisterRequest(c.descriptorRegs[i], 2));
        // Descriptor bytes: unit, quantity, scale, unused.
        const Bytes& d = done[i + 1]->rxd;
        ASSERT_EQ(d.size(), 5u);
        EXPECT_EQ(chanals[i].unitCode, d[1]);
        EXPECT_EQ(chanals[i].quantityCode, d[2]);
        EXPECT_EQ(chanals[i].scaleCode, d[3]);
    }
    EXPECT_TRUE(VisiblePanels().empty()) << "the wait window goes with the task";
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Masks, InitializeDeviceTest,
                         ::testing::Values(InitCase{"Channels0And2", "0x0005", {0, 2}, {64, 84}},
                                           InitCase{"Channel15", "0x8000", {15}, {214}},
                                           InitCase{"NoChannel", "0", {}, {}}),
                         [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST_F(TaskTest, InitializationThatFailsHalfWayEndsWithEachChannelOnce)
{
    // Channels 0 to 2; the descriptor of channel 1 fails the first time.
    std::mutex mutex;
    int failures = 0;
    ScriptedInstrument instrument([&](const Bytes& request) -> Bytes {
        const unsigned reg = request.at(2) * 256u + request.at(3);
        if (reg == 52)
            return WithCrc({0x01, 0x03, 0x02, 0x00, 0x07});
        const uint8_t n = static_cast<uint8_t>((reg - 64) / 10);
        std::lock_guard<std::mutex> lock(mutex);
        if (n == 1 && failures++ == 0)
            return WithCrc({0x01, 0x83, 0x02});
        return WithCrc({0x01, 0x03, 0x04, uint8_t(n + 1), uint8_t(n + 10), uint8_t(n + 20), 0x00});
    });
    PanelsAtError atError;
    const auto connection = Engine().ConnectReportState(atError, &PanelsAtError::OnReportState);
    RunToEnd(new DevTask::InitializeDevice);

    EXPECT_EQ(StateTexts(3), std::vector<std::string>{"Команда 3: длина строки ответа 1, должна быть 5"});
    EXPECT_EQ(atError.captions, std::vector<std::string>{"КАЛИСТ-8: Инициализация..."});
    ASSERT_EQ(spy_.chanalLists.size(), 1u);
    const ModbusChanals& chanals = spy_.chanalLists[0];
    ASSERT_EQ(Numbers(chanals), (std::vector<uint32_t>{0, 1, 2}));
    for (const ModbusChanalTag& t : chanals) {
        EXPECT_EQ(t.unitCode, t.number + 1);
        EXPECT_EQ(t.quantityCode, t.number + 10);
        EXPECT_EQ(t.scaleCode, t.number + 20);
    }
}

TEST_F(TaskTest, WithoutMainWindowTheTasksTouchNeitherInstrumentNorWindow)
{
    DevTask::SetDeviceWindow(nullptr);
    Engine().AddTask(new DevTask::InitializeDevice, true);
    Engine().AddTask(new DevTask::ReadArchive, true);
    Engine().AddTask(new DevTask::ReadChanal(0), true);
    Engine().StartThread();
    // Both panel tasks and two turns of the channel.
    ASSERT_TRUE(PumpUntil([&] { return rec_.CountCode(1) >= 4; }));
    Engine().StopThread();

    EXPECT_TRUE(rec_.items.empty());
    EXPECT_EQ(rec_.CountCode(3), 0u);
    EXPECT_TRUE(spy_.chanalLists.empty());
    EXPECT_TRUE(spy_.archives.empty());
    EXPECT_TRUE(spy_.values.empty());
    EXPECT_FALSE(Engine().Tasks().IsEmpty()) << "the channel stays in rotation";
}

// ---- ReadChanal -------------------------------------------------------------

TEST_F(TaskTest, ReadChanalReadsItsTwoRegistersAndStaysInRotation)
{
    SimLine sim({"--mask", "0x0021", "--still"});
    spy_.address = 0x101; // only the low byte goes into the request
    const auto values = PollChanal(5, 2);

    ASSERT_GE(values.size(), 2u);
    for (const auto& v : values)
        EXPECT_EQ(v, (std::pair<unsigned, double>{5, 20.85}));
    for (const Recorded::Item* d : Done(3)) {
        EXPECT_EQ(d->slave, 1u);
        EXPECT_EQ(d->txd, RegisterRequest(10, 2));
    }
    EXPECT_EQ(StateTexts(0).at(0), "Запрос измеряемой величины...");
}

TEST_F(TaskTest, ChannelNumberOutOfRangeIsAProgrammingError)
{
    ThreadsafeDeathTests style;
    EXPECT_DEATH({ DevTask::ReadChanal task(16); }, "nChanal_<16");
}

// ---- SearchSlave ------------------------------------------------------------

TEST_F(TaskTest, SearchAsksAscendingAndPassesOverSilentAddresses)
{
    SimLine sim({"--address", "1,3"});
    RunToEnd(new DevTask::SearchSlave({3, 2, 1}));

    std::vector<uint32_t> asked;
    std::vector<bool> errors;
    for (const Recorded::Item& i : rec_.items) {
        if (i.begin)
            asked.push_back(i.slave);
        if (i.done)
            errors.push_back(i.error);
    }
    EXPECT_EQ(asked, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(errors, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(Done(3).at(0)->txd, RegisterRequest(0, 1));
    EXPECT_EQ(rec_.CountCode(3), 0u);
    EXPECT_EQ(StateTexts(1), std::vector<std::string>{"Поиск по адрессам."});
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
}

// Another Modbus device on the bus refuses register 0 with an exception: it
// is there all the same, and the search goes on.
TEST_F(TaskTest, SearchCountsAnExceptionAnswerAsAnsweredAndGoesOn)
{
    SimLine sim({"--address", "1,3-5", "--foreign", "2"});
    RunToEnd(new DevTask::SearchSlave({5, 4, 3, 2, 1}));

    std::vector<uint32_t> asked;
    std::vector<bool> errors;
    for (const Recorded::Item& i : rec_.items) {
        if (i.begin)
            asked.push_back(i.slave);
        if (i.done)
            errors.push_back(i.error);
    }
    EXPECT_EQ(asked, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(errors, (std::vector<bool>{false, false, false, false, false}));
    EXPECT_EQ(rec_.CountCode(3), 0u);
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
}

TEST_F(TaskTest, SearchResumesAtTheAddressWhoseAnswerWasFaulty)
{
    std::mutex mutex;
    int failures = 0;
    ScriptedInstrument instrument([&](const Bytes& request) -> Bytes {
        std::lock_guard<std::mutex> lock(mutex);
        if (request.at(0) == 2 && failures++ == 0)
            return {0x02, 0x03, 0x02, 0x00, 0x00, 0x12, 0x34}; // checksum wrong
        return WithCrc({request.at(0), 0x03, 0x02, 0x00, 0x00});
    });
    RunToEnd(new DevTask::SearchSlave({3, 2, 1}));

    std::vector<uint8_t> asked;
    for (const Bytes& r : instrument.Requests())
        asked.push_back(r.at(0));
    EXPECT_EQ(asked, (std::vector<uint8_t>{1, 2, 2, 3}));
    EXPECT_EQ(StateTexts(3), std::vector<std::string>{"Прибор 2: ненулевая контрольная сумма принятой строки"});
    for (const Recorded::Item* done : Done(3))
        EXPECT_FALSE(done->error) << int(done->slave);
}

struct FaultyAnswer {
    const char* name;
    Bytes answer; // to a read of register 0 at address 2
    const char* error;
};

void PrintTo(const FaultyAnswer& c, std::ostream* os) { *os << c.name; }

class SearchFaultyAnswerTest : public TaskTest, public ::testing::WithParamInterface<FaultyAnswer> {};

// A device that always answers faultily would hold the search at its address
// for ever; the third faulty answer in a row makes it "not answered".
TEST_P(SearchFaultyAnswerTest, ThirdFaultyAnswerInARowCountsAsNotAnswered)
{
    ScriptedInstrument instrument([&](const Bytes& request) -> Bytes {
        if (request.at(0) == 2)
            return GetParam().answer;
        return WithCrc({request.at(0), 0x03, 0x02, 0x00, 0x00});
    });
    RunToEnd(new DevTask::SearchSlave({3, 2, 1}));

    std::vector<uint8_t> asked;
    for (const Bytes& r : instrument.Requests())
        asked.push_back(r.at(0));
    EXPECT_EQ(asked, (std::vector<uint8_t>{1, 2, 2, 2, 3}));
    const std::string error = std::string("Прибор 2: ") + GetParam().error;
    EXPECT_EQ(StateTexts(3), (std::vector<std::string>{error, error}));
    EXPECT_NE(ConsoleText().find("Адрес 2 пропущен: " + error + "\n"), std::string::npos);

    std::vector<std::pair<uint32_t, bool>> results;
    for (const Recorded::Item* done : Done(3))
        results.emplace_back(done->slave, done->error);
    EXPECT_EQ(results, (std::vector<std::pair<uint32_t, bool>>{{1, false}, {2, true}, {3, false}}));
    EXPECT_EQ(Done(3).at(1)->txd, RegisterRequest(0, 1));
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SearchFaultyAnswerTest,
    ::testing::Values(
        FaultyAnswer{"BadCrc", {0x02, 0x03, 0x02, 0x00, 0x00, 0x12, 0x34}, "ненулевая контрольная сумма принятой строки"},
        FaultyAnswer{"WrongAddress", WithCrc({0x07, 0x03, 0x02, 0x00, 0x00}),
                     "несовпадение адрессов посылки $02 и принятой строки $07"},
        FaultyAnswer{"WrongFunction", WithCrc({0x02, 0x04, 0x02, 0x00, 0x00}), "несовпадение кодов комманд"},
        FaultyAnswer{"Short", {0x02, 0x03}, "длина принятой строки [2, 3] равна 2, должна быть не менее 4."}),
    [](const ::testing::TestParamInfo<FaultyAnswer>& info) { return std::string(info.param.name); });

// ---- Send -------------------------------------------------------------------

TEST_F(TaskTest, SendToASilentInstrumentShowsTheErrorAndEnds)
{
    ScriptedInstrument instrument([](const Bytes&) { return Bytes(); });
    ModalBoxWatcher box;
    Engine().AddTask(new DevTask::Send(1, 1, 0.5), false);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return box.Result().shown && !Engine().IsThreadRunning(); }, 30));

    EXPECT_EQ(box.Result().caption.toStdString(), "Ошибка выполнения операции!");
    EXPECT_EQ(box.Result().text.toStdString(),
              "1: отправка команды \"1\" с аргументом \"0,5\"\nПрибор 1: не отвечает");
    EXPECT_EQ(box.Result().icon, QMessageBox::Critical);
    EXPECT_EQ(box.Result().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // Not the manager's error: no report, no retry, the turn ends normally.
    EXPECT_EQ(rec_.CountCode(3), 0u);
    EXPECT_EQ(StateTexts(1), std::vector<std::string>{"1: отправка команды \"1\" с аргументом \"0,5\""});
    EXPECT_EQ(instrument.Requests().size(), 1u);
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
    EXPECT_TRUE(VisiblePanels().empty());
    EXPECT_EQ(box.Result().otherVisibleWindows, 0) << "the wait window went before the box came";
}

// The instrument has carried the correction out once it confirmed it: a
// stop in the pause after it (the user's next command) must not lead to a
// second one when the worker starts again.
TEST_F(TaskTest, ConfirmedCommandIsNeverSentAgain)
{
    SimLine sim({"--mask", "0x0001", "--still"});
    Engine().AddTask(new DevTask::ReadChanal(0), true);
    Engine().AddTask(new DevTask::Send(1, 1, 0.5), false);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return !Done(0x16).empty(); }));
    Engine().StopThread(); // well within the 200 ms pause after the answer
    EXPECT_TRUE(VisiblePanels().empty());

    spy_.values.clear();
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return spy_.values.size() >= 2; }));
    Engine().StopThread();
    EXPECT_NE(sim.Command("counts").find(" function-0x16 1 "), std::string::npos) << sim.Command("counts");
    EXPECT_EQ(Done(0x16).size(), 1u);
}

TEST_F(TaskTest, SendCorrectsTheZeroOfALiveInstrument)
{
    SimLine sim({"--mask", "0x0021", "--still"});
    const double before = PollChanal(5, 1).at(0).second;

    ModalBoxWatcher box;
    RunToEnd(new DevTask::Send(1, 1, 0.5), false);
    const auto written = Done(0x16);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0]->rxd, (Bytes{0x00, 0x20, 0x00, 0x03}));
    EXPECT_NE(ConsoleText().find("Отправка команды 1->0,5\n"), std::string::npos);
    EXPECT_EQ(StateTexts(0).back(), "1: отправка команды \"1\" с аргументом \"0,5\"");

    // The instrument subtracts the correction from what it reports.
    EXPECT_NEAR(PollChanal(5, 1).at(0).second, before - 0.5, 1e-9);
    EXPECT_FALSE(box.Result().shown);
}

// ---- ReadArchive ------------------------------------------------------------

TEST_F(TaskTest, ArchiveOfTheWrongSizeIsRetriedAndTheRightOneSaved)
{
    TempDir dir;
    const std::string archiveFile = dir.File("archive.bin");
    // A fast line: two archives at 9600 baud would take twenty seconds. The
    // simulator paces it with sleeps, which a busy machine stretches: a
    // longer silence time keeps the answer in one piece.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    SimLine sim({"--archive-out", archiveFile, "--baud", "115200", "--fault", "archive-size 9799 once"});
    PanelsAtError atError;
    const auto connection = Engine().ConnectReportState(atError, &PanelsAtError::OnReportState);
    RunToEnd(new DevTask::ReadArchive, false);

    EXPECT_EQ(StateTexts(3), std::vector<std::string>{"Несоответствие размера архива!"});
    EXPECT_NE(ConsoleText().find("Ошибка - Несоответствие размера архива!\n"), std::string::npos);
    EXPECT_EQ(atError.captions, std::vector<std::string>{"КАЛИСТ-8: Запрос архива..."});
    const auto requests = Done(0x41);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0]->txd.empty());
    EXPECT_EQ(requests[0]->rxd.size(), 9799u);

    ASSERT_EQ(spy_.archives.size(), 1u);
    const Bytes& archive = spy_.archives[0];
    ASSERT_EQ(archive.size(), ARCHIVE_SIZE);
    const std::string expected = ReadBytes(archiveFile);
    EXPECT_EQ(std::string(archive.begin(), archive.end()), expected);
    EXPECT_EQ(spy_.panelsAtResult, std::vector<std::string>{"КАЛИСТ-8: Запрос архива..."});
    EXPECT_TRUE(Engine().Tasks().IsEmpty());
}

// The link is set to 9600 8N1 whatever the simulator sends at: a byte takes
// 1042 µs, and the time left is counted at that speed, in whole seconds up.
std::string ArchiveBarText(int received)
{
    const long left = ((9804 - received) * 1042L + 999999) / 1000000;
    return std::to_string(received) + " из 9804 байт" +
           (received < 9804 ? ", осталось " + std::to_string(left) + " с" : std::string());
}

TEST_F(TaskTest, ArchiveWaitWindowShowsTheBytesReceivedAndTheTimeLeft)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    // Slow enough (2.6 s) that the bar is seen half-way.
    SimLine sim({"--baud", "38400"});
    BarsAtBegin atBegin;
    const auto connection = Engine().ConnectReportState(atBegin, &BarsAtBegin::OnReportState);
    Engine().AddTask(new DevTask::ReadArchive, false);
    Engine().StartThread();
    int value = -1;
    std::string text;
    int maximum = 0;
    ASSERT_TRUE(PumpUntil([&] {
        const QProgressBar* bar = VisibleBar();
        if (!bar)
            return false;
        value = bar->value();
        text = bar->text().toStdString();
        maximum = bar->maximum();
        return value > 0 && value < 9804;
    }, 30));
    EXPECT_EQ(maximum, 9804);
    EXPECT_EQ(text, ArchiveBarText(value));
    EXPECT_EQ(VisiblePanels(), std::vector<std::string>{"КАЛИСТ-8: Запрос архива..."});
    ASSERT_TRUE(WaitIdle(30));
    EXPECT_EQ(spy_.archives.size(), 1u);
    // Each attempt (one, unless the busy machine broke the answer) starts at zero.
    ASSERT_FALSE(atBegin.bars.empty());
    for (const auto& bar : atBegin.bars)
        EXPECT_EQ(bar, std::make_pair(0, ArchiveBarText(0)));
}

// The first attempt gets half an archive; the retry's window must not start
// where that one ended.
TEST_F(TaskTest, RetriedArchiveDownloadStartsItsBarAtZero)
{
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    SimLine sim({"--baud", "115200", "--fault", "archive-size 5000 once"});
    BarsAtBegin atBegin;
    const auto connection = Engine().ConnectReportState(atBegin, &BarsAtBegin::OnReportState);
    RunToEnd(new DevTask::ReadArchive, false);

    const auto requests = Done(0x41);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]->rxd.size(), 5000u);
    EXPECT_EQ(atBegin.bars, (std::vector<std::pair<int, std::string>>(2, {0, ArchiveBarText(0)})));
    EXPECT_EQ(spy_.archives.size(), 1u);
}

class ArchiveFailureTest : public TaskTest, public ::testing::WithParamInterface<const char*> {};

// An instrument that never gives a sound archive: three attempts, then the
// box, and the channels are polled again.
TEST_P(ArchiveFailureTest, ThirdFailureEndsTheTaskWithTheBoxAndPollingResumes)
{
    // Fast line and long silence, as for a sound archive.
    my::IniFile(GetExeDir() + "comm.ini").WriteInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 200);
    SimLine sim({"--baud", "115200", "--mask", "0x0001", "--still", "--fault", GetParam()});
    ModalBoxWatcher box;
    Engine().AddTask(new DevTask::ReadChanal(0), true);
    Engine().AddTask(new DevTask::ReadArchive, false);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return box.Result().shown; }, 60));
    const size_t valuesBeforeBox = spy_.values.size();
    EXPECT_TRUE(PumpUntil([&] { return !spy_.values.empty(); })) << "values come back";
    Engine().StopThread();

    EXPECT_EQ(valuesBeforeBox, 0u);
    EXPECT_EQ(box.Result().caption.toStdString(), "Ошибка выполнения операции!");
    EXPECT_EQ(box.Result().text.toStdString(), "Запрос архива...\nНесоответствие размера архива!");
    EXPECT_EQ(box.Result().icon, QMessageBox::Critical);
    EXPECT_EQ(box.Result().otherVisibleWindows, 0) << "the wait window went before the box came";
    EXPECT_EQ(Done(0x41).size(), 3u);
    EXPECT_EQ(StateTexts(3), std::vector<std::string>(2, "Несоответствие размера архива!"));
    EXPECT_TRUE(spy_.archives.empty());
    EXPECT_TRUE(VisiblePanels().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, ArchiveFailureTest, ::testing::Values("archive-size 9801", "archive-exception 2"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "WrongSize" : "ExceptionAnswer");
                         });
