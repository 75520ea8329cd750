// The link's exchange against a line the input scripts: the answer in pieces,
// silences between them, line errors, a hang-up, and a line that keeps
// talking after the script. The port's system calls are played by a fake
// put in place of the real ones, so no time passes on a real line.
//
// Input: address, function code, request data length and data, a flag byte
// (low four bits all set: bytes never stop after the script; rare, as such a
// line takes a fraction of a second), then events: a kind byte and its
// piece.

#include "FakeLine.h"
#include "FuzzSupport.h"

#include "ComPort/RS232Modbus.h"

#include <vector>

namespace {

using fuzz::Event;
using fuzz::ScriptedLine;

RS232ModbusT& Link(ScriptedLine& line)
{
    static RS232ModbusT* link = [&line] {
        fuzz::UseScriptedLine(line);
        auto* l = new RS232ModbusT;
        l->SetStopWait([](uint32_t) {});
        return l;
    }();
    return *link;
}

void Script(fuzz::Input& in, ScriptedLine& line)
{
    while (in.Left() > 0) {
        const uint8_t kind = in.Byte();
        switch (kind % 4) {
        case 0:
            line.events.push_back({Event::Bytes, in.Bytes(kind / 4 + 1u)});
            break;
        case 1:
            line.events.push_back({Event::Silence, std::string()});
            break;
        case 2:
            line.events.push_back({Event::LineError, std::string()});
            break;
        default:
            line.events.push_back({Event::HangUp, std::string()});
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScriptedLine line;
    RS232ModbusT& link = Link(line);
    line.Reset();

    fuzz::Input in(data, size);
    const uint8_t address = in.Byte();
    const uint8_t function = in.Byte();
    const std::string request = in.Bytes(in.Byte() % 16);
    line.endless = (in.Byte() & 0x0F) == 0x0F;
    Script(in, line);

    const auto* b = reinterpret_cast<const uint8_t*>(request.data());
    const uint8_t* answerBegin = nullptr;
    const uint8_t* answerEnd = nullptr;
    try {
        const int32_t code = link.Exchange(address, function, b, b + request.size(), &answerBegin, &answerEnd);
        const std::vector<uint8_t> frame = MakeModbusFrame(address, function, b, b + request.size());
        fuzz::Check(line.written == std::string(frame.begin(), frame.end()), "the request on the line");
        if (address != 0) {
            fuzz::Check(answerBegin && answerEnd >= answerBegin, "an accepted answer without its data");
            fuzz::Check(IsModbusStr(answerBegin - 2, answerEnd + 2, address, function), "an unsound answer accepted");
            fuzz::Check(code == 0 || (answerEnd - answerBegin == 1 && answerBegin[-1] == (function | 0x80)),
                        "an exception code without an exception answer");
        }
    } catch (const PMyExcpt& e) {
        fuzz::Check(!e->Message().empty(), "an error without a message");
    }
    link.ClosePort();
    return 0;
}
