#include "TimingAdvisor/TimingPlan.h"

#include "VCLUtils/MyStrUtils.h"

#include <algorithm>
#include <cmath>

namespace TimingAdvisor {

namespace {

// The port dialog's lower bounds.
const int32_t kLeastTimeOut = 100;
const int32_t kLeastSilentTime = 5;

// The answer time-out covers this many times the slowest answers seen.
const uint32_t kLatencyFactor = 3;

// The write delay's margin over the smallest clean step: a quarter of it,
// at least this much.
const int32_t kLeastMarginMs = 2;

} // namespace

const std::vector<int32_t>& Plan::Ladder()
{
    static const std::vector<int32_t> ladder = {50, 20, 10, 8, 6, 4, 2, 0};
    return ladder;
}

std::optional<int32_t> Plan::NextStep(const std::vector<StepResult>& done)
{
    const std::vector<int32_t>& ladder = Ladder();
    if (done.empty())
        return ladder.front();
    if (done.back().failed > 0)
        return std::nullopt;
    const auto at = std::find(ladder.begin(), ladder.end(), done.back().writeDelay);
    if (at == ladder.end() || at + 1 == ladder.end())
        return std::nullopt;
    return *(at + 1);
}

std::optional<int32_t> Plan::SmallestCleanStep(const std::vector<StepResult>& steps)
{
    std::optional<int32_t> clean;
    for (const StepResult& s : steps) {
        if (s.failed > 0 || s.readings == 0)
            break;
        clean = s.writeDelay;
    }
    return clean;
}

// The smallest clean step shows that the instrument took every request
// that came that long after its answer: the write delay plus the engine's
// own time between an answer and the next request, measured at each
// reading. That own time is not steady (on a busy computer, with windows to
// update, it may reach milliseconds), so the proposal starts from the
// shortest pause measured, not from the step, and a write delay that long
// keeps the pause there even if the engine takes no time at all. The margin
// keeps it above that, not on it, for an instrument whose turnaround varies
// with its work; clean down to 0, it still leaves the instrument 2 ms to
// release the line.
int32_t Plan::WriteDelayFor(int32_t cleanGapMs)
{
    const int32_t quarter = (cleanGapMs + 3) / 4;
    return cleanGapMs + std::max(kLeastMarginMs, quarter);
}

// The time-out bounds the wait for an answer's first byte; once bytes come,
// the link waits for the rest by its own rules (length, silence, and at most
// the time-out plus the longest frame's line time), so answers longer than
// those measured, such as the archive, are not cut by it. Three times the
// 99th percentile leaves room for an instrument that is busy now and then;
// the line time of the answer covers an adapter that hands over the bytes
// only once the whole answer is in.
int32_t Plan::TimeOutFor(uint32_t latencyP99Ms, uint32_t longestAnswerLineMs)
{
    const uint64_t t = static_cast<uint64_t>(kLatencyFactor) * latencyP99Ms + longestAnswerLineMs;
    return static_cast<int32_t>(std::max<uint64_t>(kLeastTimeOut, t));
}

// An RTU frame's characters follow each other with gaps of at most 1.5
// character times, and a frame ends with a silence of at least 3.5; so a
// silence of 3.5 characters, rounded up to whole milliseconds, joins the
// pieces of a split answer and still ends a frame. One millisecond more
// covers the link's millisecond clock, which may count a wait short by up
// to one. The dialog's least value, 5 ms, bounds it below: at 9600 baud
// 3.5 characters take 3.65 ms, so 5 ms it is.
//
// The proposal never goes below the silence in force, though: a sound
// answer ends at its length without paying the silence, so a shorter one
// buys no reading, while an adapter or a busy computer that hands over an
// answer in pieces with longer gaps than the line's would then see it cut
// in two. A silence in force below the rule is raised to it.
int32_t Plan::SilentTimeFor(const LineFraming& framing, int32_t current)
{
    const uint64_t baud = framing.baud ? framing.baud : 9600;
    const uint64_t bits35 = 35ull * framing.bitsPerChar; // tenths of a character's bits
    const int32_t charsMs = static_cast<int32_t>((bits35 * 1000 + 10 * baud - 1) / (10 * baud));
    return std::max({kLeastSilentTime, charsMs + 1, current});
}

uint32_t Plan::LineTimeMs(size_t bytes, const LineFraming& framing)
{
    const uint64_t baud = framing.baud ? framing.baud : 9600;
    return static_cast<uint32_t>((bytes * framing.bitsPerChar * 1000 + baud - 1) / baud);
}

Proposal Plan::Propose(const Findings& f)
{
    Proposal p;
    if (!f.answered) {
        p.refusal = "Прибор не отвечает: подобрать тайминги нельзя.";
        return p;
    }
    const std::optional<int32_t> clean = SmallestCleanStep(f.steps);
    if (!clean) {
        p.refusal = my::Format("Сбои уже при задержке отправки %d мсек: подобрать тайминги нельзя.",
                               static_cast<int>(f.steps.front().writeDelay));
        return p;
    }
    int32_t cleanGapMs = *clean;
    for (const StepResult& s : f.steps)
        if (s.writeDelay == *clean && s.shortestGapUs >= 0)
            cleanGapMs = std::max(cleanGapMs, static_cast<int32_t>((s.shortestGapUs + 999) / 1000));
    p.timings = LinkTimings{TimeOutFor(f.latencyP99Ms, LineTimeMs(f.longestAnswerBytes, f.framing)),
                            WriteDelayFor(cleanGapMs), SilentTimeFor(f.framing, f.current.silentTime)};
    return p;
}

} // namespace TimingAdvisor
