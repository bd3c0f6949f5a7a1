// Boundary-layer table and layer growth.
#include <gtest/gtest.h>

#include <cmath>

#include "ornax90/ORNAX_pbl_mod.hpp"

namespace {

using Profile = std::array<float, ornax_max_pbl_levels>;

// 41 levels every 100 m from the ground, potential temperature 290 K + 5 K/km.
void linear_sounding(Profile& z, Profile& th) {
    for (int k = 0; k < ornax_max_pbl_levels; ++k) {
        z[k] = 100.0f * static_cast<float>(k);
        th[k] = 290.0f + 0.005f * z[k];
    }
}

TEST(CorePblTable, LinearSoundingAndFillAfterItsTop) {
    Profile z, th;
    linear_sounding(z, th);
    std::vector<float> integral, height;
    float theta0 = 0;
    int st = -1;
    ornax_get_pbl_table(50.0f, z, th, 41, theta0, integral, height, st);
    ASSERT_EQ(st, 0);
    EXPECT_FLOAT_EQ(theta0, 290.25f);
    // a rise of 0.01 j K is reached 2 j m above z1; the integral is the trapezoid
    EXPECT_NEAR(height[99], 250.0f, 0.01f);
    EXPECT_NEAR(integral[99], 0.5f * (290.25f + 291.25f) * 200.0f, 1.0f);
    EXPECT_NEAR(height[999], 2050.0f, 0.1f);  // no drift of the targets
    // the top level (4000 m, 310 K) is a rise of 19.75 K: later entries repeat the last
    const int last = 1974;
    EXPECT_LT(height[last - 1], 4000.0f);
    EXPECT_EQ(height[7999], height[last]);
    EXPECT_EQ(integral[7999], integral[last]);
    EXPECT_EQ(height[5000], height[last]);
}

TEST(CorePblTable, NoRiseNoLevelAboveAndUnusedLevelsIgnored) {
    Profile z, th;
    linear_sounding(z, th);
    th.fill(290.0f);  // isothermal: no entry can be written
    std::vector<float> integral, height;
    float theta0 = 0;
    int st = -1;
    ornax_get_pbl_table(50.0f, z, th, 41, theta0, integral, height, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(height[0], 50.0f);
    EXPECT_EQ(integral[0], 0.0f);
    EXPECT_EQ(height[7999], 50.0f);
    // levels 1 and 2 (0 and 10 m) lie below z1, level 3 is beyond npbl
    linear_sounding(z, th);
    z[1] = 10.0f;
    ornax_get_pbl_table(50.0f, z, th, 2, theta0, integral, height, st);
    EXPECT_EQ(st, 3);
    ornax_get_pbl_table(50.0f, z, th, 0, theta0, integral, height, st);
    EXPECT_EQ(st, 3);
}

TEST(CorePblGrowth, HeatBudgetAndTableLimits) {
    Profile z, th;
    linear_sounding(z, th);
    // a sounding warming steeply aloft so that the table reaches a rise of 80 K
    for (int k = 1; k < ornax_max_pbl_levels; ++k) th[k] = 290.0f + 3.0f * static_cast<float>(k);
    std::vector<float> integral, height;
    float theta0 = 0;
    int st = -1;
    ornax_get_pbl_table(50.0f, z, th, 41, theta0, integral, height, st);
    const float ta1 = theta0 - 273.15f;  // a mixed layer at the sounding's temperature
    const float t1 = ta1 + 273.15f;
    float z2 = -1, hn = -1;
    // a 1.005 K rise: index 100 of the table
    ornax_grow_pbl(ta1, ta1 + 1.005f, 3600.0f, 10800.0f, 1200.0f, 1200.0f, theta0, integral, height,
                   50.0f, z2, hn, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(z2, height[99]);
    const float gained =
        z2 * (t1 + 1.005f) - 50.0f * t1 - (integral[99] - (z2 - 50.0f) * (theta0 - t1));
    EXPECT_NEAR(hn, gained * 2400.0f * 10800.0f / (10800.0f * 10800.0f - 3600.0f * 3600.0f), 0.05f);
    EXPECT_GT(hn, 0.0f);
    // 80 K is still in the table, more is not and leaves Z2 and HN as they are
    ornax_grow_pbl(ta1, ta1 + 80.005f, 3600.0f, 10800.0f, 1200.0f, 1200.0f, theta0, integral,
                   height, 50.0f, z2, hn, st);
    EXPECT_EQ(z2, height[7999]);
    z2 = -1, hn = -1;
    ornax_grow_pbl(ta1, ta1 + 80.05f, 3600.0f, 10800.0f, 1200.0f, 1200.0f, theta0, integral, height,
                   50.0f, z2, hn, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(z2, -1.0f);
    EXPECT_EQ(hn, -1.0f);
    ornax_grow_pbl(ta1, ta1 - 1.0f, 3600.0f, 10800.0f, 1200.0f, 1200.0f, theta0, integral, height,
                   50.0f, z2, hn, st);
    EXPECT_EQ(hn, -1.0f);
}

}  // namespace
