#pragma once

#include "sim/SimCounters.h"
#include "sim/SimFault.h"
#include "sim/SimInstrument.h"
#include "sim/SimRandom.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

constexpr uint8_t FN_READ_REGISTERS = 0x03;
constexpr uint8_t FN_COMMAND = 0x16;
constexpr uint8_t FN_ARCHIVE = 0x41;

constexpr uint8_t EXC_ILLEGAL_FUNCTION = 0x01;
constexpr uint8_t EXC_ILLEGAL_ADDRESS = 0x02;
constexpr uint8_t EXC_ILLEGAL_VALUE = 0x03;

// A part of an answer and the silence on the line before it.
struct AnswerPiece {
    std::vector<uint8_t> bytes;
    double gapBeforeMs = 0;
};

struct Reply {
    std::vector<AnswerPiece> pieces; // nothing: no answer
    bool dropLine = false;           // pull the cable instead of answering
    bool babble = false;             // the pieces are a babble, which a new fault ends
    int downMs = 0;                  // ... for this long
    std::string note;                // what was done, for the traffic log
};

// The instruments on one line as the line sees them: a request frame in,
// the answer (or silence) out, with the fault in force applied to it.
class Responder {
public:
    // still: every value stays at its reading at time 0.
    Responder(std::vector<Instrument> instruments, uint64_t seed, bool still);

    // now: seconds since the simulator started.
    Reply Respond(const uint8_t* b, const uint8_t* e, double now);

    // Devices that are no instruments: each answers every request with its
    // exception code.
    void SetForeign(const std::map<uint8_t, uint8_t>& foreign) { foreign_ = foreign; }

    // A random mix lasts its seconds from now on.
    void SetFault(const Fault& fault, double now);
    // The fault in force (one that has run out reads as none).
    Fault CurrentFault(double now) const;

    const std::vector<Instrument>& Instruments() const { return instruments_; }
    Instrument* Find(uint8_t address);

    Counters& Counts() { return counts_; }
    const Counters& Counts() const { return counts_; }

private:
    std::vector<uint8_t> NormalAnswer(Instrument& inst, uint8_t fn, const uint8_t* data, size_t len, double t);
    std::vector<uint8_t> ReadRegisters(const Instrument& inst, const uint8_t* data, size_t len, double t);
    Fault TakeFault(uint8_t fn, double now);
    Fault PickRandomFault(uint8_t fn);
    Reply Inject(const Fault& fault, const Instrument& inst, uint8_t fn, std::vector<uint8_t> answer);
    void Broadcast(uint8_t fn, const uint8_t* data, size_t len);

    std::vector<Instrument> instruments_;
    bool still_;
    Random mix_;
    std::map<uint8_t, uint8_t> foreign_;
    Fault fault_;
    double randomUntil_ = 0;
    Counters counts_;
};

// Checks the data of a function 0x16 request (00 20 00 03 06, code, four
// BCD bytes); 0 when sound, else the exception code to answer with.
uint8_t ParseCommandRequest(const uint8_t* data, size_t len, uint16_t& code, uint8_t arg[4]);

} // namespace sim
