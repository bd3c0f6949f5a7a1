// The vector instance of the core against the one-lane instance, and the independence of
// a point's results from its place in a batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_pbl_mod.hpp"
#include "support/core_points.hpp"

namespace {

struct Pointset {
    std::vector<Ornaxlandtype> land;
    std::vector<Ornaxinputvartype> input;
};

// Summer points with slow (much warmer second time), failing (dark second time, short
// sounding) and water points among them.
Pointset varied_points(int count) {
    Pointset set{std::vector<Ornaxlandtype>(count), std::vector<Ornaxinputvartype>(count)};
    for (int n = 0; n < count; ++n) {
        Ornaxlandtype& land = set.land[n];
        Ornaxinputvartype& in = set.input[n];
        core_points::make_summer_point(n, land, in);
        if (n % 5 == 1) in.trad2 += 15.0f;
        if (n % 7 == 2) in.sdn2 = 5.0f, in.lwdn2 = 150.0f;
        if (n % 11 == 3) in.npbl = 1;
        if (n % 13 == 4) land.water_flag = 1;
        if (n % 9 == 5) in.xlai = 0.0f;
    }
    return set;
}

std::vector<Ornaxcorepoint> batch_of(const Pointset& set, const std::vector<int>& order) {
    std::vector<Ornaxcorepoint> batch(order.size());
    for (std::size_t n = 0; n < order.size(); ++n) {
        batch[n].land = &set.land[order[n]];
        batch[n].input = &set.input[order[n]];
    }
    return batch;
}

bool same_bits(const Ornaxoutputvartype& a, const Ornaxoutputvartype& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

TEST(CoreLanes, VectorAgreesWithOneLaneOnVariedPoints) {
    constexpr int count = 97;  // not a multiple of any vector width
    const Pointset set = varied_points(count);
    std::vector<int> order(count);
    for (int n = 0; n < count; ++n) order[n] = n;
    std::vector<Ornaxcorepoint> batch = batch_of(set, order);
    ornax_lanes_run(batch, 2, 1);
    int failures = 0;
    for (int n = 0; n < count; ++n) {
        Ornaxoutputvartype one;
        int status = -1;
        Ornaxcorediagnostics diag;
        ornax(set.land[n], set.input[n], one, 2, 1, status, &diag);
        const Ornaxcorepoint& v = batch[n];
        ASSERT_EQ(v.status, status) << "point " << n;
        failures += status != 0;
        if (status != 0) continue;
        // a point whose last change sits at the tolerance may take one evaluation more
        EXPECT_LE(std::abs(v.diagnostics.hn_evaluations - diag.hn_evaluations), 1) << n;
        const float* a = reinterpret_cast<const float*>(&one);
        const float* b = reinterpret_cast<const float*>(&v.output);
        for (std::size_t f = 0; f < sizeof(one) / sizeof(float); ++f) {
            EXPECT_NEAR(b[f], a[f], 0.01f * std::max(1.0f, std::fabs(a[f])))
                << "point " << n << " field " << f;
        }
    }
    EXPECT_GT(failures, 0);          // the set holds failing points
    EXPECT_LT(failures, count / 2);  // and mostly good ones
}

// A point gives the same bits alone, first, last, or anywhere in batches of other sizes.
TEST(CoreLanes, ResultsIndependentOfBatchAndPosition) {
    constexpr int count = 53;
    const Pointset set = varied_points(count);
    std::vector<int> forward(count), backward(count), rotated(count);
    for (int n = 0; n < count; ++n) {
        forward[n] = n;
        backward[n] = count - 1 - n;
        rotated[n] = (n * 17) % count;
    }
    std::vector<Ornaxcorepoint> reference = batch_of(set, forward);
    ornax_lanes_run(reference, 2, 0);
    for (const std::vector<int>* order : {&backward, &rotated}) {
        std::vector<Ornaxcorepoint> batch = batch_of(set, *order);
        ornax_lanes_run(batch, 2, 0);
        for (int n = 0; n < count; ++n) {
            const Ornaxcorepoint& r = reference[(*order)[n]];
            EXPECT_EQ(batch[n].status, r.status) << (*order)[n];
            EXPECT_EQ(batch[n].diagnostics.hn_evaluations, r.diagnostics.hn_evaluations);
            if (r.status == 0) {
                EXPECT_TRUE(same_bits(batch[n].output, r.output)) << (*order)[n];
            }
        }
    }
    for (const int n : {0, 7, 52}) {
        std::vector<Ornaxcorepoint> alone = batch_of(set, {n});
        ornax_lanes_run(alone, 2, 0);
        EXPECT_EQ(alone[0].status, reference[n].status);
        if (alone[0].status == 0) {
            EXPECT_TRUE(same_bits(alone[0].output, reference[n].output)) << n;
        }
    }
}

TEST(CoreLanes, EmptyBatchAndInstructionSet) {
    std::vector<Ornaxcorepoint> none;
    ornax_lanes_run(none, 2, 0);
    EXPECT_GE(ornax_lanes_width(), 1);
    EXPECT_FALSE(ornax_lanes_instruction_set().empty());
}

// A table written on demand, in uneven steps, equals the table built whole, also after the
// sounding ends below the last entry.
TEST(CoreLanes, TableOnDemandEqualsWholeTable) {
    std::array<float, ornax_max_pbl_levels> z{}, th{};
    for (int k = 0; k < ornax_max_pbl_levels; ++k) {
        z[k] = 10.0f * std::pow(1.25f, static_cast<float>(k));
        th[k] = 290.0f + 0.002f * z[k] + (k == 3 ? 0.7f : 0.0f);
    }
    for (const int levels : {41, 12}) {
        float theta0 = 0.0f;
        std::vector<float> integral, height;
        int st = -1;
        ornax_get_pbl_table(50.0f, z, th, levels, theta0, integral, height, st);
        ASSERT_EQ(st, 0);
        Ornaxdailyvartype state;
        float theta0_lazy = 0.0f;
        ornax_start_pbl_table(50.0f, z, th, levels, state.pbl_build, theta0_lazy, st);
        ASSERT_EQ(st, 0);
        EXPECT_EQ(theta0_lazy, theta0);
        for (const int j : {1, 2, 300, 299, 301, 4000, 7999, 8000, 17}) {
            const Ornaxpblentry e = lanes_pbl_table_entry(state, j);
            EXPECT_EQ(e.integral, integral[j - 1]) << levels << " " << j;
            EXPECT_EQ(e.height, height[j - 1]) << levels << " " << j;
        }
    }
}

}  // namespace
