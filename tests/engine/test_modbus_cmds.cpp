#include "EngineTestSupport.h"

#include "DevSys/modbus_.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace engine_test;

namespace {

// What a command did on the worker: the answer bytes it returned or what it
// threw.
struct Outcome {
    Bytes data;
    std::vector<double> values;
    std::string type;
    std::string message;
};

// Runs one command on the worker, as a device task would, and keeps its
// failure to itself, so that the manager never retries it.
class CommandTask : public MyAbstructTransfer {
public:
    typedef std::function<void(Outcome&)> Command;
    CommandTask(Command command, Outcome& outcome) : command_(std::move(command)), outcome_(outcome) {}

    bool BeforeTransfer() override { return true; }
    bool AfterTransfer() override { return false; }
    void DoTransfer() override
    {
        try {
            command_(outcome_);
        } catch (const PMyExcpt& e) {
            outcome_.type = e->TypeName();
            outcome_.message = e->Message();
        }
    }

private:
    const Command command_;
    Outcome& outcome_;
};

void ReadTwoRegistersAt0(Outcome& o)
{
    const uint8_t* b = nullptr;
    const uint8_t* e = nullptr;
    ModbusCmd3h(1, 0, 2, &b, &e);
    o.data.assign(b, e);
}

void SendHalfToInstrument1(Outcome&) { SendCommand(1, 1, 0.5); }

// The instrument is played by the test: each command gets the answer the
// case sets.
class ModbusCmdTest : public EngineTest {
protected:
    ModbusCmdTest()
        : instrument_([this](const Bytes& request) {
              std::lock_guard<std::mutex> lock(mutex_);
              return request.at(0) == 0 ? Bytes() : answer_;
          })
    {
    }

    Outcome Run(const CommandTask::Command& command, const Bytes& answer)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            answer_ = answer.empty() ? Bytes() : WithCrc(answer);
        }
        Outcome outcome;
        Engine().AddTask(new CommandTask(command, outcome), true);
        Engine().StartThread();
        EXPECT_TRUE(WaitIdle());
        return outcome;
    }

    Bytes LastRequest() const
    {
        const std::vector<Bytes> requests = instrument_.Requests();
        return requests.empty() ? Bytes() : requests.back();
    }

    std::mutex mutex_;
    Bytes answer_;
    ScriptedInstrument instrument_;
};

} // namespace

TEST_F(ModbusCmdTest, ReadsSendTheirFrameAndGiveTheRegisters)
{
    Outcome o = Run(&ReadTwoRegistersAt0, {0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(LastRequest(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
    EXPECT_EQ(o.data, (Bytes{0x12, 0x34, 0x56, 0x78}));

    o = Run([](Outcome& out) { out.values.push_back(ReadRegisterWord(1, 52)); }, {0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(LastRequest(), WithCrc({0x01, 0x03, 0x00, 0x34, 0x00, 0x01}));
    EXPECT_EQ(o.values, std::vector<double>{0x1234});

    o = Run(
        [](Outcome& out) {
            out.values.resize(2);
            ReadBcdValues(1, 10, 2, out.values.data());
        },
        {0x01, 0x03, 0x08, 0x04, 0x12, 0x50, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(LastRequest(), WithCrc({0x01, 0x03, 0x00, 0x0A, 0x00, 0x04}));
    EXPECT_EQ(o.values, (std::vector<double>{12.5, 999999}));
}

TEST_F(ModbusCmdTest, CommandWritesTheCommandRegistersUnderFunction16h)
{
    const Outcome o = Run(&SendHalfToInstrument1, {0x01, 0x16, 0x00, 0x20, 0x00, 0x03});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(LastRequest(),
              WithCrc({0x01, 0x16, 0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x06, 0x50, 0x00, 0x00}));
    // Shown whether the traffic is logged or not (it is not by default).
    EXPECT_NE(ConsoleText().find("Отправка команды 1->0,5\n"), std::string::npos) << ConsoleText();
}

TEST_F(ModbusCmdTest, BroadcastCommandIsSentWithoutWaitingForAnAnswer)
{
    const Outcome o = Run([](Outcome&) { SendCommand(0, 1, -12.5); }, {});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(o.type, "");
    EXPECT_TRUE(PumpUntil([&] { return !instrument_.Requests().empty(); }, 5));
    EXPECT_EQ(LastRequest(),
              WithCrc({0x00, 0x16, 0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x84, 0x12, 0x50, 0x00}));
    EXPECT_NE(ConsoleText().find("Отправка команды 1->-12,5\n"), std::string::npos) << ConsoleText();
    // No answer timeout: the done notification follows without an error.
    ASSERT_EQ(rec_.items.size(), 2u);
    EXPECT_FALSE(rec_.items[1].error);
}

TEST_F(ModbusCmdTest, AnswersOfTheWrongFormFailWithTheirMessages)
{
    const struct {
        const char* what;
        CommandTask::Command command;
        Bytes answer;
        const char* type;
        const char* message;
    } cases[] = {
        {"3: too short", &ReadTwoRegistersAt0, {0x01, 0x03, 0x04, 0x12, 0x34}, "MyTreskModbusCmd3hException",
         "Команда 3: длина строки ответа 3, должна быть 5"},
        {"3: too long", &ReadTwoRegistersAt0, {0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78, 0x9A},
         "MyTreskModbusCmd3hException", "Команда 3: длина строки ответа 6, должна быть 5"},
        {"3: wrong byte count", &ReadTwoRegistersAt0, {0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78},
         "MyTreskModbusCmd3hException", "Команда 3: длина строки ответа 5, должна быть rxd[0]=6"},
        {"3: exception answer", &ReadTwoRegistersAt0, {0x01, 0x83, 0x02}, "MyTreskModbusCmd3hException",
         "Команда 3: длина строки ответа 1, должна быть 5"},
        {"16: too short", &SendHalfToInstrument1, {0x01, 0x16, 0x00, 0x20, 0x00}, "MyTreskModbusCmd10hException",
         "Комманда 16: длина строки ответа 3, должна быть 4"},
        {"16: exception answer", &SendHalfToInstrument1, {0x01, 0x96, 0x02}, "MyTreskModbusCmd10hException",
         "Комманда 16: длина строки ответа 1, должна быть 4"},
        {"16: wrong echo", &SendHalfToInstrument1, {0x01, 0x16, 0x00, 0x20, 0x00, 0x04},
         "MyTreskModbusCmd10hException", "Комманда 16: !std::equal(txd, txd+4, rxd)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = Run(c.command, c.answer);
        EXPECT_EQ(o.type, c.type);
        EXPECT_EQ(o.message, c.message);
    }
}

// A stop request ends the exchange without an answer range; the command
// must take that for an empty answer rather than read through null.
TEST_F(ModbusCmdTest, StopDuringTheExchangeCountsAsAnEmptyAnswer)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_.clear();
    }
    Outcome o;
    Engine().AddTask(new CommandTask(&ReadTwoRegistersAt0, o), true);
    Engine().StartThread();
    ASSERT_TRUE(PumpUntil([&] { return !rec_.items.empty(); }));
    Engine().StopThread();
    EXPECT_EQ(o.type, "MyTreskModbusCmd3hException");
    EXPECT_EQ(o.message, "Команда 3: длина строки ответа 0, должна быть 5");
}

// 999999 and FF FF FF FF both mean "no value" to the instrument: an argument
// that comes out as either, after rounding to six digits, is never sent.
TEST_F(ModbusCmdTest, CommandRefusesAnArgumentTheBcdFormatCannotCarry)
{
    for (const double arg : {999999.0, 999998.6, -999998.7, 1e7, -1e300}) {
        SCOPED_TRACE(arg);
        const size_t before = instrument_.Requests().size();
        const Outcome o = Run([arg](Outcome&) { SendCommand(1, 1, arg); }, {0x01, 0x16, 0x00, 0x20, 0x00, 0x03});
        EXPECT_EQ(o.type, "MyTreskModbusCmd10hException");
        EXPECT_EQ(o.message.rfind("Комманда 16: аргумент ", 0), 0u) << o.message;
        EXPECT_EQ(instrument_.Requests().size(), before);
    }
    const Outcome o = Run([](Outcome&) { SendCommand(1, 1, 999998.4); }, {0x01, 0x16, 0x00, 0x20, 0x00, 0x03});
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(LastRequest(), WithCrc({0x01, 0x16, 0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x99, 0x99, 0x98}));
}
