// The simulator's side of the line: any request frame, and the fault texts
// its command line and control channel take.
//
// Input: a fault text ended by 0x01, a flag byte (bit 0: seal the frame
// with a CRC that fits, so that the request handlers are reached), the frame.

#include "FuzzSupport.h"

#include "ComPort/RS232Modbus.h"
#include "sim/SimFault.h"
#include "sim/SimResponder.h"

#include <vector>

namespace {

void CheckFaultText(const std::string& text)
{
    sim::Fault fault;
    try {
        fault = sim::ParseFault(text);
    } catch (const PMyExcpt& e) {
        fuzz::Check(!e->Message().empty(), "a fault text refused without a message");
        return;
    }
    const std::string canonical = sim::FaultText(fault);
    fuzz::Check(sim::FaultText(sim::ParseFault(canonical)) == canonical, "a fault's text does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    CheckFaultText(in.Until(1));
    const uint8_t flags = in.Byte();
    const std::string bytes = in.Rest();
    std::vector<uint8_t> frame(bytes.begin(), bytes.end());
    if ((flags & 1) && frame.size() >= 2) {
        const uint16_t crc = ModbusCRC16(frame.data(), frame.data() + frame.size() - 2);
        frame[frame.size() - 2] = static_cast<uint8_t>(crc);
        frame[frame.size() - 1] = static_cast<uint8_t>(crc >> 8);
    }

    std::vector<sim::Instrument> instruments;
    instruments.emplace_back(1, 7);
    instruments.emplace_back(2, 8, uint16_t{0x00FF});
    sim::Responder responder(std::move(instruments), 11, false);
    const sim::Reply reply = responder.Respond(frame.data(), frame.data() + frame.size(), 1.5);
    for (const auto& piece : reply.pieces) {
        fuzz::Check(piece.bytes.size() <= 256 || frame.size() < 2 || frame[1] == sim::FN_ARCHIVE,
                    "an answer longer than an RTU frame");
        fuzz::Check(piece.gapBeforeMs >= 0, "a negative gap");
    }
    if (!reply.pieces.empty() && frame.size() >= 2)
        fuzz::Check(reply.pieces.front().bytes.empty() || reply.pieces.front().bytes[0] == frame[0],
                    "an answer from another address");
    return 0;
}
