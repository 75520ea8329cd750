#pragma once

#include "TimingAdvisor/TimingPlan.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstdint>
#include <string>

namespace TimingAdvisor {

enum class Stage {
    Latency, // readings at the settings in force
    Step,    // readings at a lower write delay
    Check,   // readings at the proposal
};

struct Progress {
    Stage stage;
    int32_t writeDelay; // in use for these readings
    unsigned readings;  // done in this stage
    unsigned failed;
    unsigned stageReadings; // the stage's whole count
};

// A reading stage's figures.
struct Rate {
    unsigned readings = 0;
    unsigned failed = 0;
    int64_t shortestGapUs = -1; // after an answer, before a sound reading's request
    double perSecond = 0;       // sound readings per second of the stage
};

struct Result {
    bool completed = false; // false: the polling was stopped first
    Rate before;            // at the settings in force
    Rate after;             // at the proposal; nothing read without one
    Findings findings;
    Proposal proposal; // a refusal beside timings: the check of them lost a reading
};

// Hears the advice on the main thread.
class Listener {
public:
    virtual void OnProgress(const Progress& p) = 0;
    virtual void OnFinished(const Result& r) = 0;

protected:
    ~Listener() = default;
};

// One advice for the instrument at the main window's address, made on the
// engine's worker as a task queued before the polling: channel readings
// (function 3, as polling reads them) at the settings in force, then at
// write delays going down the plan's ladder, then at the proposal. The
// link's timings are changed only in memory, for the readings, and are
// back as they were when the task ends, however it ends; the instrument is
// only read. Main thread only.
class Advice : boost::noncopyable {
public:
    // Queues the advice and starts the worker if it is idle.
    static boost::shared_ptr<Advice> Start(Listener* listener, const Counts& counts = Counts());

    // The listener hears no more; the readings end after the one under way
    // and the settings go back as they were.
    void Cancel();
    // The task has ended (or will never run) and the link has its settings
    // back.
    bool Ended() const { return ended_; }

private:
    friend class AdvisorTask;
    explicit Advice(Listener* listener) : listener_(listener) {}

    Listener* listener_;
    std::atomic<bool> cancelled_{false};
    bool ended_ = false;
};

} // namespace TimingAdvisor
