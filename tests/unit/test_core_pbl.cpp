// Boundary-layer table and layer growth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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

// The table of a started build written one entry after the other from its definition.
void table_entry_by_entry(Ornaxpbltable b, std::vector<float>& integral,
                          std::vector<float>& height) {
    integral.assign(ornax_pbl_table_size, 0.0f);
    height.assign(ornax_pbl_table_size, 0.0f);
    int i = b.pair;
    float p = b.theta0, q = b.z1, s = 0.0f, last_h = b.z1, last_s = 0.0f;
    for (int j = 0; j < ornax_pbl_table_size; ++j) {
        const float t = b.theta0 + 0.01f * static_cast<float>(j + 1);
        if (!b.ended && t > b.th[i + 1]) {
            int k = i + 2;
            while (k < ornax_max_pbl_levels && b.th[k] < t) ++k;
            b.ended = k >= ornax_max_pbl_levels;
            if (!b.ended) i = k - 1;
        }
        if (!b.ended) {
            last_h = b.z[i] + (b.z[i + 1] - b.z[i]) * (t - b.th[i]) / (b.th[i + 1] - b.th[i]);
            last_s = s = s + (t + p) * 0.5f * (last_h - q);
            p = t, q = last_h;
        }
        height[j] = last_h;
        integral[j] = last_s;
    }
}

// Tables written on demand in uneven steps hold the entry-by-entry values bit for bit:
// level pairs that change within a few entries, an inversion the targets skip, a sounding
// that ends.
TEST(CorePblTable, OnDemandEqualsEntryByEntry) {
    for (int shape = 0; shape < 3; ++shape) {
        Profile z, th;
        for (int k = 0; k < ornax_max_pbl_levels; ++k) {
            const float level = static_cast<float>(k);
            z[k] = shape == 0 ? 1.0f * level : 37.0f * level;
            th[k] = shape == 0   ? 290.0f + 0.013f * level
                    : shape == 1 ? 290.0f + 0.7f * level - (k % 4 == 2 ? 2.5f : 0.0f)
                                 : 290.0f + 0.41f * level;
        }
        Ornaxdailyvartype state;
        float theta0 = 0.0f;
        int st = -1;
        ornax_start_pbl_table(20.0f, z, th, 41, state.pbl_build, theta0, st);
        ASSERT_EQ(st, 0);
        std::vector<float> integral, height;
        table_entry_by_entry(state.pbl_build, integral, height);
        for (int j = 1; j <= ornax_pbl_table_size; j += 1 + j % 19) {
            lanes_pbl_table_entry(state, j);
        }
        lanes_pbl_table_entry(state, ornax_pbl_table_size);
        EXPECT_EQ(std::memcmp(state.pbl_height.data(), height.data(), height.size() * 4), 0);
        EXPECT_EQ(std::memcmp(state.pbl_integral.data(), integral.data(), height.size() * 4), 0);
    }
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
