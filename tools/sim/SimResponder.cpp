#include "sim/SimResponder.h"

#include "sim/SimArchive.h"

#include "ComPort/RS232Modbus.h"
#include "VCLUtils/MyStrUtils.h"

#include <algorithm>

namespace sim {

namespace {

constexpr unsigned MAX_READ_COUNT = 125; // what fits a 256-byte RTU frame

std::vector<uint8_t> Frame(uint8_t addr, uint8_t fn, const std::vector<uint8_t>& data)
{
    return MakeModbusFrame(addr, fn, data.data(), data.data() + data.size());
}

std::vector<uint8_t> ExceptionFrame(uint8_t addr, uint8_t fn, uint8_t code)
{
    return Frame(addr, static_cast<uint8_t>(fn | 0x80), {code});
}

// The faults that last a number of seconds rather than a number of answers.
bool RunsOut(FaultKind kind) { return kind == FaultKind::Random || kind == FaultKind::Noise; }

bool IsException(const std::vector<uint8_t>& frame) { return frame.size() == 5 && (frame[1] & 0x80); }

void Reseal(std::vector<uint8_t>& frame)
{
    const uint16_t crc = ModbusCRC16(frame.data(), frame.data() + frame.size() - 2);
    frame[frame.size() - 2] = static_cast<uint8_t>(crc);
    frame[frame.size() - 1] = static_cast<uint8_t>(crc >> 8);
}

// Nearly equal parts, the longer ones first.
std::vector<AnswerPiece> SplitFrame(const std::vector<uint8_t>& frame, int pieces, int gapMs)
{
    const size_t n = std::min(frame.size(), static_cast<size_t>(pieces));
    std::vector<AnswerPiece> out;
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t len = frame.size() / n + (i < frame.size() % n ? 1 : 0);
        out.push_back({std::vector<uint8_t>(frame.begin() + pos, frame.begin() + pos + len), i ? double(gapMs) : 0.0});
        pos += len;
    }
    return out;
}

// Bytes one at a time with a gap before each but the first.
std::vector<AnswerPiece> BabblePieces(int gapMs, int count)
{
    std::vector<AnswerPiece> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out.push_back({{static_cast<uint8_t>(i)}, i ? double(gapMs) : 0.0});
    return out;
}

} // namespace

uint8_t ParseCommandRequest(const uint8_t* data, size_t len, uint16_t& code, uint8_t arg[4])
{
    if (len < 4 || data[0] != 0x00 || data[1] != REG_COMMAND || data[2] != 0x00 || data[3] != 3)
        return EXC_ILLEGAL_ADDRESS;
    if (len != 11 || data[4] != 6)
        return EXC_ILLEGAL_VALUE;
    code = static_cast<uint16_t>(data[5] << 8 | data[6]);
    std::copy(data + 7, data + 11, arg);
    return 0;
}

Responder::Responder(std::vector<Instrument> instruments, uint64_t seed, bool still)
    : instruments_(std::move(instruments)), still_(still), mix_(MixSeed(seed, 3))
{
}

Instrument* Responder::Find(uint8_t address)
{
    for (auto& inst : instruments_) {
        if (inst.Address() == address)
            return &inst;
    }
    return nullptr;
}

void Responder::SetFault(const Fault& fault, double now)
{
    fault_ = fault;
    randomUntil_ = now + fault.seconds;
}

Fault Responder::CurrentFault(double now) const
{
    if (RunsOut(fault_.kind) && now >= randomUntil_)
        return Fault();
    return fault_;
}

Reply Responder::Respond(const uint8_t* b, const uint8_t* e, double now)
{
    Reply reply;
    const size_t len = static_cast<size_t>(e - b);
    if (len < 4 || ModbusCRC16(b, e) != 0) {
        // A real slave cannot tell noise from a damaged request: it keeps quiet.
        ++counts_.framesIgnored;
        reply.note = len < 4 ? "ignored: too short" : "ignored: wrong CRC";
        return reply;
    }
    const uint8_t addr = b[0], fn = b[1];
    const uint8_t* data = b + 2;
    const size_t dataLen = len - 4;
    ++counts_.requests;
    ++counts_.byFunction[fn];
    ++counts_.byAddress[addr];

    if (addr == 0) {
        ++counts_.broadcasts;
        Broadcast(fn, data, dataLen);
        reply.note = "broadcast: not answered";
        return reply;
    }
    if (const auto f = foreign_.find(addr); f != foreign_.end()) {
        ++counts_.answers;
        reply.pieces.push_back({ExceptionFrame(addr, fn, f->second), 0});
        reply.note = "another device: exception answer";
        return reply;
    }
    Instrument* inst = Find(addr);
    if (!inst) {
        ++counts_.toOtherAddresses;
        reply.note = "another address: not answered";
        return reply;
    }
    std::vector<uint8_t> answer = NormalAnswer(*inst, fn, data, dataLen, still_ ? 0 : now);
    if (IsException(answer))
        ++counts_.exceptionAnswers;
    return Inject(TakeFault(fn, now), *inst, fn, std::move(answer));
}

void Responder::Broadcast(uint8_t fn, const uint8_t* data, size_t len)
{
    // Every instrument on the line takes a broadcast command, none answers.
    uint16_t code = 0;
    uint8_t arg[4];
    if (fn != FN_COMMAND || ParseCommandRequest(data, len, code, arg) != 0)
        return;
    for (auto& inst : instruments_)
        inst.WriteCommand(code, arg);
}

std::vector<uint8_t> Responder::NormalAnswer(Instrument& inst, uint8_t fn, const uint8_t* data, size_t len, double t)
{
    const uint8_t addr = inst.Address();
    switch (fn) {
    case FN_READ_REGISTERS: return ReadRegisters(inst, data, len, t);
    case FN_COMMAND: {
        uint16_t code = 0;
        uint8_t arg[4];
        if (const uint8_t exc = ParseCommandRequest(data, len, code, arg))
            return ExceptionFrame(addr, fn, exc);
        inst.WriteCommand(code, arg);
        return Frame(addr, fn, {0x00, REG_COMMAND, 0x00, 0x03});
    }
    case FN_ARCHIVE: {
        if (len != 0)
            return ExceptionFrame(addr, fn, EXC_ILLEGAL_VALUE);
        return Frame(addr, fn, inst.Archive());
    }
    default: return ExceptionFrame(addr, fn, EXC_ILLEGAL_FUNCTION);
    }
}

std::vector<uint8_t> Responder::ReadRegisters(const Instrument& inst, const uint8_t* data, size_t len, double t)
{
    const uint8_t addr = inst.Address();
    if (len != 4)
        return ExceptionFrame(addr, FN_READ_REGISTERS, EXC_ILLEGAL_VALUE);
    const unsigned first = data[0] << 8 | data[1];
    const unsigned count = data[2] << 8 | data[3];
    if (count < 1 || count > MAX_READ_COUNT)
        return ExceptionFrame(addr, FN_READ_REGISTERS, EXC_ILLEGAL_VALUE);
    std::vector<uint8_t> out = {static_cast<uint8_t>(2 * count)};
    for (unsigned reg = first; reg < first + count; ++reg) {
        // All registers of one read are taken at the same moment, so the two
        // halves of a value always belong together.
        const auto value = reg <= 0xFFFF ? inst.Register(static_cast<uint16_t>(reg), t) : std::nullopt;
        if (!value)
            return ExceptionFrame(addr, FN_READ_REGISTERS, EXC_ILLEGAL_ADDRESS);
        out.push_back(static_cast<uint8_t>(*value >> 8));
        out.push_back(static_cast<uint8_t>(*value));
    }
    return Frame(addr, FN_READ_REGISTERS, out);
}

Fault Responder::TakeFault(uint8_t fn, double now)
{
    if (RunsOut(fault_.kind) && now >= randomUntil_)
        fault_ = Fault();
    Fault f = fault_;
    // Noise is on the line, not in the answers.
    if (f.kind == FaultKind::Noise)
        return Fault();
    // The archive faults only concern archive reads, and only they use them up.
    if ((f.kind == FaultKind::ArchiveSize || f.kind == FaultKind::ArchiveException) && fn != FN_ARCHIVE)
        return Fault();
    if (fault_.times > 0 && --fault_.times == 0)
        fault_ = Fault();
    return f.kind == FaultKind::Random ? PickRandomFault(fn) : f;
}

Fault Responder::PickRandomFault(uint8_t fn)
{
    Fault f;
    switch (mix_.Below(16)) {
    case 8: f.kind = FaultKind::Silent; break;
    case 9: f.kind = FaultKind::BadCrc; break;
    case 10: f.kind = FaultKind::WrongAddress; break;
    case 11: f.kind = FaultKind::WrongFunction; break;
    case 12:
        f.kind = FaultKind::Short;
        f.shortLength = mix_.Between(1, 3);
        break;
    case 13:
        f.kind = FaultKind::Exception;
        f.exceptionCode = mix_.Between(1, 4);
        break;
    case 14:
        f.kind = FaultKind::Split;
        f.gapMs = mix_.Between(2, 60);
        f.pieces = mix_.Between(2, 4);
        break;
    case 15:
        if (fn == FN_ARCHIVE) {
            f.kind = FaultKind::ArchiveSize;
            f.archiveSize = static_cast<int>(ARCHIVE_SIZE) + (mix_.Chance(0.5) ? 1 : -1) * mix_.Between(1, 100);
        } else {
            f.kind = FaultKind::BadCrc;
        }
        break;
    default: break; // about half the answers stay sound
    }
    return f;
}

Reply Responder::Inject(const Fault& fault, const Instrument& inst, uint8_t fn, std::vector<uint8_t> answer)
{
    Reply reply;
    if (fault.kind != FaultKind::None) {
        ++counts_.faults[FaultName(fault.kind)];
        reply.note = "fault " + FaultText(fault);
    }
    switch (fault.kind) {
    case FaultKind::None: break;
    case FaultKind::Silent: return reply;
    case FaultKind::Drop:
        reply.dropLine = true;
        reply.downMs = fault.downMs;
        return reply;
    case FaultKind::BadCrc: answer.back() ^= 0x5A; break;
    case FaultKind::WrongAddress:
        answer[0] = static_cast<uint8_t>(inst.Address() % 255 + 1);
        Reseal(answer);
        break;
    case FaultKind::WrongFunction:
        // Neither the function code nor its exception form.
        answer[1] = static_cast<uint8_t>(((fn & 0x7F) + 1) & 0x7F);
        Reseal(answer);
        break;
    case FaultKind::Short: answer.resize(static_cast<size_t>(fault.shortLength)); break;
    case FaultKind::Exception:
    case FaultKind::ArchiveException: answer = ExceptionFrame(inst.Address(), fn, static_cast<uint8_t>(fault.exceptionCode)); break;
    case FaultKind::Split: reply.pieces = SplitFrame(answer, fault.pieces, fault.gapMs); break;
    case FaultKind::Babble:
        reply.pieces = BabblePieces(fault.babbleGapMs, fault.babbleBytes);
        reply.babble = true;
        break;
    case FaultKind::ArchiveSize: {
        std::vector<uint8_t> data = inst.Archive();
        data.resize(static_cast<size_t>(fault.archiveSize), 0xFF);
        answer = Frame(inst.Address(), fn, data);
        break;
    }
    case FaultKind::Random: break; // resolved by TakeFault
    case FaultKind::Noise: break;  // the server makes it
    }
    if (reply.pieces.empty())
        reply.pieces.push_back({std::move(answer), 0});
    ++counts_.answers;
    return reply;
}

} // namespace sim
