// The timing advisor's arithmetic: which write delays it tries, where it
// stops, and what it proposes from what it found.
#include "TimingAdvisor/TimingPlan.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using TimingAdvisor::Findings;
using TimingAdvisor::Plan;
using TimingAdvisor::StepResult;

namespace {

const LineFraming k9600{9600, 10};

struct StepCase {
    const char* name;
    std::vector<StepResult> done;
    std::optional<int32_t> next;
    std::optional<int32_t> smallestClean;
};

class PlanStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(PlanStepTest, NextStepAndSmallestCleanStep)
{
    const StepCase& c = GetParam();
    EXPECT_EQ(Plan::NextStep(c.done), c.next);
    EXPECT_EQ(Plan::SmallestCleanStep(c.done), c.smallestClean);
}

INSTANTIATE_TEST_SUITE_P(
    Ladder, PlanStepTest,
    ::testing::Values(StepCase{"StartsAtTheTop", {}, 50, std::nullopt},
                      StepCase{"GoesDownWhileClean", {{50, 40, 0}, {20, 40, 0}}, 10, 20},
                      StepCase{"FineStepsBelowTen", {{50, 40, 0}, {20, 40, 0}, {10, 40, 0}}, 8, 10},
                      StepCase{"StopsAtTheFirstFailure", {{50, 40, 0}, {20, 40, 0}, {10, 40, 0}, {8, 40, 0}, {6, 1, 1}},
                               std::nullopt, 8},
                      StepCase{"OneFailureAmongManyStops", {{50, 40, 0}, {20, 39, 1}}, std::nullopt, 50},
                      StepCase{"TheTopFailing", {{50, 1, 1}}, std::nullopt, std::nullopt},
                      StepCase{"CleanToZeroEnds",
                               {{50, 4, 0}, {20, 4, 0}, {10, 4, 0}, {8, 4, 0}, {6, 4, 0}, {4, 4, 0}, {2, 4, 0}, {0, 4, 0}},
                               std::nullopt, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ValueCase {
    int32_t in;
    int32_t out;
};

class WriteDelayTest : public ::testing::TestWithParam<ValueCase> {};

// A quarter of the clean step on top, at least 2 ms.
TEST_P(WriteDelayTest, MarginOverTheSmallestCleanStep)
{
    EXPECT_EQ(Plan::WriteDelayFor(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Margins, WriteDelayTest,
                         ::testing::Values(ValueCase{0, 2}, ValueCase{2, 4}, ValueCase{8, 10}, ValueCase{10, 13},
                                           ValueCase{20, 25}, ValueCase{50, 63}));

struct TimeOutCase {
    uint32_t p99;
    uint32_t lineMs;
    int32_t timeOut;
};

class TimeOutTest : public ::testing::TestWithParam<TimeOutCase> {};

TEST_P(TimeOutTest, ThreeTimesTheP99PlusTheAnswersLineTimeAtLeast100)
{
    EXPECT_EQ(Plan::TimeOutFor(GetParam().p99, GetParam().lineMs), GetParam().timeOut);
}

INSTANTIATE_TEST_SUITE_P(TimeOuts, TimeOutTest,
                         ::testing::Values(TimeOutCase{0, 0, 100}, TimeOutCase{4, 10, 100}, TimeOutCase{30, 10, 100},
                                           TimeOutCase{31, 10, 103}, TimeOutCase{250, 10, 760}));

struct SilenceCase {
    LineFraming framing;
    int32_t current;
    int32_t silence;
};

class SilenceTest : public ::testing::TestWithParam<SilenceCase> {};

// 3.5 characters rounded up, 1 ms for the clock, at least 5, and never
// below the silence in force.
TEST_P(SilenceTest, JoinsSplitAnswersAtTheRate)
{
    EXPECT_EQ(Plan::SilentTimeFor(GetParam().framing, GetParam().current), GetParam().silence);
}

INSTANTIATE_TEST_SUITE_P(Rates, SilenceTest,
                         ::testing::Values(SilenceCase{{9600, 10}, 5, 5}, SilenceCase{{115200, 10}, 5, 5},
                                           SilenceCase{{4800, 10}, 5, 9}, SilenceCase{{2400, 11}, 5, 18},
                                           SilenceCase{{1200, 10}, 10, 31}, SilenceCase{{9600, 10}, 10, 10},
                                           SilenceCase{{4800, 10}, 12, 12}));

TEST(PlanTest, LineTimeRoundsUp)
{
    EXPECT_EQ(Plan::LineTimeMs(9, k9600), 10u); // 9.375 ms
    EXPECT_EQ(Plan::LineTimeMs(96, k9600), 100u);
    EXPECT_EQ(Plan::LineTimeMs(0, k9600), 0u);
}

Findings Found(std::vector<StepResult> steps, bool answered = true)
{
    return Findings{{1000, 50, 10}, k9600, answered, 40, 9, std::move(steps)};
}

TEST(PlanTest, ProposesFromTheSmallestCleanStepTheLatencyAndTheRate)
{
    const auto p = Plan::Propose(Found({{50, 40, 0}, {20, 40, 0}, {10, 40, 0}, {8, 40, 0}, {6, 1, 1}}));
    ASSERT_TRUE(p.timings) << p.refusal;
    EXPECT_TRUE(p.refusal.empty());
    EXPECT_EQ(p.timings->writeDelay, 10);
    EXPECT_EQ(p.timings->timeOut, 3 * 40 + 10);
    EXPECT_EQ(p.timings->silentTime, 10) << "the silence in force, above the rule's 5 ms";
}

// A busy engine that took 3.4 ms of its own after each answer made a 4 ms
// step clean against a 7 ms turnaround: the pause measured counts, not
// the step.
TEST(PlanTest, ProposesFromTheShortestPauseMeasuredAtTheCleanStep)
{
    const auto p = Plan::Propose(Found({{50, 40, 0, 53400}, {20, 40, 0, 23400}, {10, 40, 0, 13400}, {8, 40, 0, 11400},
                                        {6, 40, 0, 9400}, {4, 40, 0, 7400}, {2, 3, 1, 5400}}));
    ASSERT_TRUE(p.timings) << p.refusal;
    EXPECT_EQ(p.timings->writeDelay, 8 + 2);
}

TEST(PlanTest, RefusesWithoutAnAnswerOrAClean50)
{
    const auto silent = Plan::Propose(Found({{50, 1, 1}}, false));
    EXPECT_FALSE(silent.timings);
    EXPECT_EQ(silent.refusal, "Прибор не отвечает: подобрать тайминги нельзя.");

    const auto failing = Plan::Propose(Found({{50, 3, 1}}));
    EXPECT_FALSE(failing.timings);
    EXPECT_EQ(failing.refusal, "Сбои уже при задержке отправки 50 мсек: подобрать тайминги нельзя.");
}

} // namespace
