#include "sim/SimFault.h"

#include "VCLUtils/MyStrUtils.h"

#include <vector>

namespace sim {

namespace {

struct FaultEntry {
    FaultKind kind;
    const char* name;
};

const FaultEntry FAULTS[] = {
    {FaultKind::None, "none"},
    {FaultKind::Silent, "silent"},
    {FaultKind::BadCrc, "bad-crc"},
    {FaultKind::WrongAddress, "wrong-address"},
    {FaultKind::WrongFunction, "wrong-function"},
    {FaultKind::Short, "short"},
    {FaultKind::Exception, "exception"},
    {FaultKind::Split, "split"},
    {FaultKind::ArchiveSize, "archive-size"},
    {FaultKind::ArchiveException, "archive-exception"},
    {FaultKind::Random, "random"},
    {FaultKind::Drop, "drop"},
    {FaultKind::Babble, "babble"},
    {FaultKind::Noise, "noise"},
};

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ':' || c == ',' || c == '\r' || c == '\n') {
            if (!cur.empty())
                words.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        words.push_back(cur);
    return words;
}

int NumberIn(const std::string& word, int lo, int hi, const std::string& what)
{
    const auto n = ParseInt(word, 10);
    if (!n.second || n.first < lo || n.first > hi)
        throw PMyExcpt(new MySimUsageException(
            FILE_LINE, my::Format("%s must be a whole number from %d to %d, not \"%s\"", what.c_str(), lo,
                                  hi, word.c_str())));
    return n.first;
}

// Reads the numbers that follow the fault's name into its fields.
void ReadArguments(Fault& f, const std::vector<std::string>& args)
{
    struct Arg {
        int* field;
        int lo, hi;
        const char* what;
    };
    std::vector<Arg> expected;
    switch (f.kind) {
    case FaultKind::Short: expected = {{&f.shortLength, 1, 3, "the length of a short answer"}}; break;
    case FaultKind::Exception:
    case FaultKind::ArchiveException: expected = {{&f.exceptionCode, 1, 255, "the exception code"}}; break;
    case FaultKind::Split:
        expected = {{&f.gapMs, 0, 60000, "the gap in milliseconds"}, {&f.pieces, 2, 100, "the number of pieces"}};
        break;
    case FaultKind::ArchiveSize: expected = {{&f.archiveSize, 0, 65000, "the archive size"}}; break;
    case FaultKind::Random: expected = {{&f.seconds, 1, 86400, "the duration in seconds"}}; break;
    case FaultKind::Drop: expected = {{&f.downMs, 0, 3600000, "the time the line stays down (ms)"}}; break;
    case FaultKind::Babble:
        expected = {{&f.babbleGapMs, 0, 1000, "the gap in milliseconds"},
                    {&f.babbleBytes, 1, 1000000, "the number of bytes"}};
        break;
    case FaultKind::Noise: expected = {{&f.seconds, 1, 86400, "the duration in seconds"}}; break;
    default: break;
    }
    if (args.size() > expected.size())
        throw PMyExcpt(new MySimUsageException(
            FILE_LINE, my::Format("too many numbers after \"%s\"", FaultName(f.kind))));
    for (size_t i = 0; i < args.size(); ++i)
        *expected[i].field = NumberIn(args[i], expected[i].lo, expected[i].hi, expected[i].what);
}

} // namespace

const char* FaultName(FaultKind kind)
{
    for (const auto& e : FAULTS) {
        if (e.kind == kind)
            return e.name;
    }
    return "?";
}

Fault ParseFault(const std::string& text)
{
    std::vector<std::string> words = Words(text);
    if (words.empty())
        throw PMyExcpt(new MySimUsageException(FILE_LINE, "no fault given"));
    Fault f;
    bool known = false;
    for (const auto& e : FAULTS) {
        if (words[0] == e.name) {
            f.kind = e.kind;
            known = true;
        }
    }
    if (!known)
        throw PMyExcpt(new MySimUsageException(FILE_LINE, "unknown fault \"" + words[0] + "\""));

    // A trailing "once" or "times N" limits it to the next requests.
    if (words.size() >= 2 && words.back() == "once") {
        f.times = 1;
        words.pop_back();
    } else if (words.size() >= 3 && words[words.size() - 2] == "times") {
        f.times = NumberIn(words.back(), 1, 1000000, "the number of times");
        words.resize(words.size() - 2);
    }
    if (f.kind == FaultKind::None && f.times != 0)
        throw PMyExcpt(new MySimUsageException(FILE_LINE, "\"none\" takes no count"));
    if (f.kind == FaultKind::Drop && f.times == 0)
        f.times = 1; // a line that dropped at every request could never be used again
    ReadArguments(f, std::vector<std::string>(words.begin() + 1, words.end()));
    return f;
}

std::string FaultText(const Fault& f)
{
    std::string text = FaultName(f.kind);
    switch (f.kind) {
    case FaultKind::Short: text += my::Format(" %d", f.shortLength); break;
    case FaultKind::Exception:
    case FaultKind::ArchiveException: text += my::Format(" %d", f.exceptionCode); break;
    case FaultKind::Split: text += my::Format(" %d %d", f.gapMs, f.pieces); break;
    case FaultKind::ArchiveSize: text += my::Format(" %d", f.archiveSize); break;
    case FaultKind::Random: text += my::Format(" %d", f.seconds); break;
    case FaultKind::Drop: text += my::Format(" %d", f.downMs); break;
    case FaultKind::Babble: text += my::Format(" %d %d", f.babbleGapMs, f.babbleBytes); break;
    case FaultKind::Noise: text += my::Format(" %d", f.seconds); break;
    default: break;
    }
    if (f.times > 0)
        text += my::Format(" times %d", f.times);
    return text;
}

std::string FaultHelp()
{
    return "    none              answer as a sound instrument does\n"
           "    silent            do not answer at all\n"
           "    bad-crc           answer with a wrong checksum (CRC)\n"
           "    wrong-address     answer as if from the next address (checksum right)\n"
           "    wrong-function    answer with another function code (checksum right)\n"
           "    short [N]         send only the first N bytes of the answer, N = 1..3 (3)\n"
           "    exception [CODE]  answer every request with exception CODE (4)\n"
           "    split [GAP [PIECES]]\n"
           "                      send the answer in PIECES parts (2) with GAP ms of\n"
           "                      silence between them (20)\n"
           "    archive-size [N]  the archive answer (function 0x41) carries N data\n"
           "                      bytes instead of 9800 (9799); other answers stay right\n"
           "    archive-exception [CODE]\n"
           "                      answer the archive request with exception CODE (4);\n"
           "                      other answers stay right\n"
           "    random [SECONDS]  for SECONDS (60) a seeded mix: about half the answers\n"
           "                      sound, the others with one of the faults above\n"
           "    drop [MS]         at the next request pull the cable: the line goes\n"
           "                      down and comes back after MS ms (1000); then no fault\n"
           "    babble [GAP [BYTES]]\n"
           "                      instead of the answer send BYTES bytes (1000) counting\n"
           "                      up from 00, GAP ms of silence between them (2): a line\n"
           "                      that never falls silent; a new fault ends it\n"
           "    noise [SECONDS]   for SECONDS (60) random bytes on the line at random\n"
           "                      moments, also while either side talks, now and then\n"
           "                      for longer than an answer time-out; answers stay sound\n"
           "    Add \"once\" or \"times N\" to apply a fault to the next N answered\n"
           "    requests only, e.g. \"silent once\". Words may be separated by blanks,\n"
           "    \":\" or \",\" (\"split:50:3\").\n";
}

} // namespace sim
