#include "BusStats/BusStats.h"

#include <gtest/gtest.h>

TEST(LatencyHistogramTest, QuantilesMinAndMaxOfWholeMilliseconds)
{
    BusStats::LatencyHistogram h;
    EXPECT_EQ(h.Quantile(0.5), 0u);
    for (uint32_t ms = 100; ms >= 1; --ms)
        h.Add(ms);
    EXPECT_EQ(h.Count(), 100u);
    EXPECT_EQ(h.Min(), 1u);
    EXPECT_EQ(h.Max(), 100u);
    EXPECT_EQ(h.Quantile(0.5), 50u);
    EXPECT_EQ(h.Quantile(0.95), 95u);
    EXPECT_EQ(h.Quantile(1.0), 100u);

    // Beyond the last slot: counted there, the maximum stays exact.
    h.Add(100000);
    EXPECT_EQ(h.Max(), 100000u);
    EXPECT_EQ(h.Quantile(1.0), BusStats::LatencyHistogram::kSlots - 1);
}
