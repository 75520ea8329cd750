// The instrument's commands on any answer: the register reads, the BCD
// values and the command write, run by the real polling engine on its
// worker thread, over the link to a scripted line that answers with the
// input.
//
// Input: the command (a byte), its register (two bytes), its count or
// command code, a flag byte (bit 0: make the answer a sound frame of the
// instrument, so that the command's own checks are reached; bit 1: with
// the exception form of the function code), then the answer.

#include "FakeLine.h"
#include "FuzzSupport.h"

#include "ComPort/RS232Modbus.h"
#include "DevSys/TransferManage.h"
#include "DevSys/modbus_.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/bcd_.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t kAddress = 1;

// Runs one command on the worker as a device task does; whatever it throws
// must be one of the program's own errors.
class CommandTask : public MyAbstructTransfer {
public:
    explicit CommandTask(std::function<void()> command) : command_(std::move(command)) {}

    bool BeforeTransfer() override { return true; }
    bool AfterTransfer() override { return false; }
    void DoTransfer() override
    {
        try {
            command_();
        } catch (const PMyExcpt& e) {
            fuzz::Check(!e->Message().empty(), "a command error without a message");
        } catch (...) {
            fuzz::Fail("a command threw something else than the program's errors");
        }
    }

private:
    const std::function<void()> command_;
};

TransferManagerT& Engine(fuzz::ScriptedLine& line)
{
    static TransferManagerT* engine = [&line] {
        static int argc = 1;
        static char name[] = "kalist8_fuzz_commands";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        ModuleImpl::Instance();
        fuzz::UseScriptedLine(line);
        return &TransferManagerT::Instance();
    }();
    return *engine;
}

void Run(TransferManagerT& engine, std::function<void()> command)
{
    engine.AddTask(new CommandTask(std::move(command)), true);
    engine.StartThread();
    // The worker's calls onto this thread are served here until it has run
    // out of work.
    while (engine.IsThreadRunning()) {
        QCoreApplication::processEvents();
        std::this_thread::yield();
    }
}

std::string Sealed(uint8_t function, const std::string& data)
{
    const auto* b = reinterpret_cast<const uint8_t*>(data.data());
    const std::vector<uint8_t> frame = MakeModbusFrame(kAddress, function, b, b + data.size());
    return std::string(frame.begin(), frame.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::ScriptedLine line;
    TransferManagerT& engine = Engine(line);
    line.Reset();

    fuzz::Input in(data, size);
    const uint8_t which = in.Byte() % 4;
    const uint16_t reg = in.Word();
    const uint16_t arg = in.Word();
    const uint8_t flags = in.Byte();
    std::string answer = in.Rest();
    if (flags & 1) {
        const uint8_t function = which == 3 ? 0x16 : 0x03;
        answer = Sealed(flags & 2 ? function | 0x80 : function, answer);
    }
    line.events.push_back({fuzz::Event::Bytes, answer});

    std::function<void()> command;
    // A command argument the BCD format cannot carry is refused before anything is sent.
    bool sends = true;
    switch (which) {
    case 0:
        command = [reg, arg] {
            const int count = arg % 130;
            const uint8_t* b = nullptr;
            const uint8_t* e = nullptr;
            ModbusCmd3h(kAddress, reg, count, &b, &e);
            fuzz::Check(b && e - b == 2 * count, "registers of another count");
        };
        break;
    case 1:
        command = [reg] { ReadRegisterWord(kAddress, reg); };
        break;
    case 2:
        command = [reg, arg] {
            std::vector<double> values(1 + arg % 16);
            ReadBcdValues(kAddress, reg, static_cast<int>(values.size()), values.data());
        };
        break;
    default: {
        const uint8_t bcd[4] = {static_cast<uint8_t>(arg >> 8), static_cast<uint8_t>(arg), 0x12, 0x34};
        const double value = BcdToDouble(bcd);
        sends = BcdCanCarry(value);
        command = [reg, value] { SendCommand(kAddress, reg, value); };
        break;
    }
    }
    Run(engine, command);
    if (sends)
        fuzz::Check(line.written.size() >= 8, "the command sent no request");
    else
        fuzz::Check(line.written.empty(), "a command the BCD format cannot carry was sent");
    return 0;
}
