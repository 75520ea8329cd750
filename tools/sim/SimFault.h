#pragma once

#include "Excpt/MyExeption.h"

#include <string>

namespace sim {

// A wrong command line or control command; the message is for the user.
DECLARE_MY_EXCEPTION_CLASS(MySimUsageException, MyException);

enum class FaultKind {
    None,          // answers as it should
    Silent,        // no answer at all
    BadCrc,        // the answer's CRC is wrong
    WrongAddress,  // the answer carries another address (CRC fits)
    WrongFunction, // the answer carries another function code (CRC fits)
    Short,         // only the first 1 to 3 bytes of the answer
    Exception,     // an exception answer with a chosen code
    Split,         // the answer in pieces with pauses between them
    ArchiveSize,   // the archive answer carries another number of bytes
    ArchiveException, // the archive request gets an exception answer
    Random,        // a seeded mix of the others for a while
    Drop,          // the line goes down instead of the answer, comes back later
    Babble,        // instead of the answer, bytes with short gaps for a long while
    Noise,         // random bytes on the line for a while; answers stay sound
};

// A fault and its settings; only the fields of its kind are used.
struct Fault {
    FaultKind kind = FaultKind::None;
    int shortLength = 3;   // Short: bytes sent, 1..3
    int exceptionCode = 4; // Exception, ArchiveException: the code, 1..255
    int gapMs = 20;        // Split: pause between pieces
    int pieces = 2;        // Split: number of pieces, 2..100
    int archiveSize = 9799; // ArchiveSize: data bytes instead of 9800
    int seconds = 60;      // Random, Noise: how long it lasts
    int downMs = 1000;     // Drop: how long the line stays down
    int babbleGapMs = 2;   // Babble: pause between bytes
    int babbleBytes = 1000; // Babble: how many bytes
    int times = 0;         // requests it still applies to; 0: until changed
};

// "split 20 3", "split:20:3", "silent times 2", "short 1 once" ...;
// throws MySimUsageException for a text it cannot take.
Fault ParseFault(const std::string& text);
// The canonical text, which ParseFault reads back to the same fault.
std::string FaultText(const Fault& fault);
const char* FaultName(FaultKind kind);
// The fault list as --help and "help" show it.
std::string FaultHelp();

} // namespace sim
