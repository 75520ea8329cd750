#include "Trends/TrendRing.h"
#include "Trends/TrendStore.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kInvalid = 999999;

} // namespace

TEST(TrendRingTest, HoldsItsSpanAtAnyRateAndNeverGrows)
{
    // A minute at one reading a second: 61 places.
    TrendRing ring(60000, 1000);
    ASSERT_EQ(ring.Capacity(), 61u);
    // Ten readings a second for two minutes: each second keeps its last.
    for (int64_t t = 0; t < 120000; t += 100)
        ring.Add(t, static_cast<double>(t));
    EXPECT_EQ(ring.Size(), 61u);
    EXPECT_EQ(ring.Capacity(), 61u);
    const TrendRing::Stats s = ring.StatsSince(0);
    EXPECT_EQ(s.count, 61u);
    EXPECT_EQ(s.max, 119900); // the latest of the last second
    EXPECT_EQ(s.min, 59900);  // the oldest kept second
}

TEST(TrendRingTest, InvalidReadingsLeaveAGapAndStayOutOfTheStats)
{
    TrendRing ring(60000, 100);
    ring.Add(0, 1);
    ring.Add(1000, kInvalid);
    ring.Add(2000, -kInvalid);
    ring.Add(3000, 3);
    ring.Add(4000, 5);

    const TrendRing::Stats all = ring.StatsSince(0);
    EXPECT_EQ(all.count, 3u);
    EXPECT_EQ(all.min, 1);
    EXPECT_EQ(all.max, 5);
    EXPECT_EQ(all.mean, 3);
    const TrendRing::Stats recent = ring.StatsSince(3500);
    EXPECT_EQ(recent.count, 1u);
    EXPECT_EQ(recent.mean, 5);
    EXPECT_EQ(ring.StatsSince(5000).count, 0u);

    const std::vector<QPointF> points = ring.PointsSince(0, 5000, 100);
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0], QPointF(0, 1));
    EXPECT_TRUE(std::isnan(points[1].y()));
    EXPECT_TRUE(std::isnan(points[2].y()));
    EXPECT_EQ(points[3], QPointF(3000, 3));
}

TEST(TrendRingTest, LongSpanIsAveragedDownToThePointsAPlotNeeds)
{
    TrendRing ring(3600000, 250);
    for (int64_t t = 0; t < 3600000; t += 250)
        ring.Add(t, t % 2000 < 1000 ? 0 : 10);
    const std::vector<QPointF> points = ring.PointsSince(0, 3600000, 600);
    EXPECT_EQ(points.size(), 600u);
    for (const QPointF& p : points)
        EXPECT_EQ(p.y(), 5);
}

TEST(TrendStoreTest, KeyedByChanalNumberAndANewListKeepsTheChanalsStillInIt)
{
    TrendStore store;
    store.SetChanals({{0, "CO, мг/м3"}, {5, "CH4, %"}});
    store.Add(5, 1.5, 0);
    store.Add(0, 2.5, 0);
    store.Add(3, 7, 0); // not in the list
    EXPECT_EQ(store.Find(3), nullptr);
    ASSERT_NE(store.Find(5), nullptr);
    EXPECT_EQ(store.Find(5)->StatsSince(0).mean, 1.5);

    const uint64_t before = store.Version();
    store.SetChanals({{5, "CH4, %"}, {7, "O2, %"}});
    EXPECT_NE(store.Version(), before);
    EXPECT_EQ(store.Find(0), nullptr);
    EXPECT_EQ(store.Find(5)->Size(), 1u);
    EXPECT_EQ(store.Find(7)->Size(), 0u);
}
