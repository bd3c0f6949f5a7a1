// Reduction of a two-day three-hourly UTC series to a pixel's observation times and
// local hours.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ornax90/ORNAX_region_io_mod.hpp"

namespace {

constexpr float fill = -9999.0f;

// Day series whose value at 3 (t - 1) hours UTC is base + t.
std::array<float, 8> ramp(float base) {
    std::array<float, 8> values{};
    for (int t = 0; t < 8; ++t)
        values[static_cast<std::size_t>(t)] = base + static_cast<float>(t + 1);
    return values;
}

struct Reduced {
    float value1 = 0, value2 = 0;
    std::vector<float> series = std::vector<float>(24, 0.0f);
    int status = -1;
};

Reduced reduce(float lon, float t1, float t2, const std::array<float, 8>& day1,
               const std::array<float, 8>& day2) {
    Reduced r;
    ornax_get_local_time_vars(lon, t1, t2, day1, day2, fill, 8, r.value1, r.value2, r.series, 24,
                              r.status);
    return r;
}

}  // namespace

TEST(PixelMetInterp, LinearInterpolation) {
    EXPECT_FLOAT_EQ(ornax_linear_interp(7.0f, 6.0f, 9.0f, 280.0f, 283.0f), 281.0f);
    EXPECT_FLOAT_EQ(ornax_linear_interp(6.0f, 6.0f, 9.0f, 280.0f, 283.0f), 280.0f);
    EXPECT_EQ(ornax_linear_interp(5.0f, 3.0f, 3.0f, 1.0f, 2.0f), 0.0f);
}

TEST(PixelMetInterp, ObservationTimesInsideTheWindow) {
    std::array<float, 8> day1 = ramp(0.0f);
    day1[2] = 280.0f;  // 06 UTC
    day1[3] = 283.0f;  // 09 UTC
    const Reduced r = reduce(-90.0f, 7.0f, 13.5f, day1, ramp(100.0f));
    EXPECT_EQ(r.status, 0);
    EXPECT_FLOAT_EQ(r.value1, 281.0f);
    EXPECT_FLOAT_EQ(r.value2, 5.0f + 1.5f / 3.0f);  // between 12 UTC (5) and 15 UTC (6)
}

TEST(PixelMetInterp, SecondTimePastMidnightUsesTheFollowingDay) {
    // 26.5 h lies between the second day's 00 UTC (101) and 03 UTC (102) values
    const Reduced r = reduce(150.0f, 22.5f, 2.5f, ramp(0.0f), ramp(100.0f));
    EXPECT_FLOAT_EQ(r.value2, 101.0f + 2.5f / 3.0f);
    // 22.5 h lies between the first day's 21 UTC (8) and the second day's 00 UTC (101)
    EXPECT_FLOAT_EQ(r.value1, 8.0f + 1.5f / 3.0f * 93.0f);
}

TEST(PixelMetInterp, FillInABracketOrMissingTimeGivesFill) {
    std::array<float, 8> day1 = ramp(0.0f);
    day1[3] = fill;  // 09 UTC missing
    const Reduced r = reduce(-90.0f, 7.0f, 10.0f, day1, ramp(100.0f));
    EXPECT_EQ(r.value1, fill);
    EXPECT_EQ(r.value2, fill);
    // no sunrise: the observation time is missing
    const Reduced polar = reduce(10.0f, -9999.0f, -9999.0f, ramp(0.0f), ramp(100.0f));
    EXPECT_EQ(polar.value1, fill);
    EXPECT_EQ(polar.value2, fill);
    // beyond the window's end (45 h)
    const Reduced late = reduce(10.0f, 46.0f, 47.0f, ramp(0.0f), ramp(100.0f));
    EXPECT_EQ(late.value1, fill);
}

TEST(PixelMetInterp, LocalHoursWestAndEastOfGreenwich) {
    const Reduced west = reduce(-90.0f, 7.0f, 13.0f, ramp(0.0f), ramp(100.0f));
    EXPECT_FLOAT_EQ(west.series[0], 3.0f);   // 00 local = 06 UTC exactly: the 06 UTC value
    EXPECT_FLOAT_EQ(west.series[12], 7.0f);  // 12 local = 18 UTC
    EXPECT_FLOAT_EQ(west.series[20], 101.0f + 2.0f / 3.0f);  // 26 h: second day
    const Reduced east = reduce(120.0f, 7.0f, 13.0f, ramp(0.0f), ramp(100.0f));
    EXPECT_FLOAT_EQ(east.series[0], 6.0f + 1.0f / 3.0f);  // x = 16 h: between 15 and 18 UTC
    EXPECT_FLOAT_EQ(east.series[8], 101.0f);              // x = 24 h
    // at 180 E the local day ends at 35 h, still inside the window
    const Reduced dateline = reduce(180.0f, 7.0f, 13.0f, ramp(0.0f), ramp(100.0f));
    EXPECT_FLOAT_EQ(dateline.series[23], 104.0f + 2.0f / 3.0f);
}

TEST(PixelMetInterp, ShortSeriesAreRefused) {
    const std::vector<float> short_day(5, 1.0f);
    const std::array<float, 8> day = ramp(0.0f);
    float v1 = 0, v2 = 0;
    std::vector<float> series(24, 0.0f);
    int status = 0;
    ornax_get_local_time_vars(0.0f, 7.0f, 13.0f, short_day, day, fill, 8, v1, v2, series, 24,
                              status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(v1, fill);
    EXPECT_EQ(series[23], fill);
}
