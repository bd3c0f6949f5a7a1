// Gap filling of daily ET: hand-worked single-pixel series (linear ratio across a gap,
// the gap limit and its edge, leading and trailing gaps, an interpolated reference ET,
// values of pixels that were not computed), and the streaming filler against a
// whole-series fill of random series for several gap limits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "support/composite.hpp"

namespace {

using composite_test::missing;
constexpr float computed = 0.0f;  // the computed flag of the quality table
constexpr float m = missing;

struct Series {
    std::vector<float> eday, eref, quality;  // one pixel, a value per day; quality 0 computed
};

struct Result {
    std::vector<float> et, distance;
    std::vector<int> flag;
};

// Streams a series of `pixels` pixels (day-major: value of pixel i on day d at d*pixels+i).
void fill(const std::vector<float>& eday, const std::vector<float>& eref,
          const std::vector<float>& quality, std::size_t pixels, int max_gap,
          std::vector<Result>& per_pixel) {
    const std::size_t days = eday.size() / pixels;
    per_pixel.assign(pixels, Result{});
    Ornaxgapfillertype filler;
    int status = 0;
    ornax_gapfill_init(filler, pixels, max_gap, missing, status);
    ASSERT_EQ(status, 0);
    int expected_index = 0;
    const Ornaxfilleddaysink sink = [&](const Ornaxfilleddaytype& day, int& st) {
        EXPECT_EQ(day.index, expected_index++);  // days come out in order, each once
        for (std::size_t i = 0; i < pixels; ++i) {
            per_pixel[i].et.push_back(day.et[i]);
            per_pixel[i].distance.push_back(day.distance[i]);
            per_pixel[i].flag.push_back(day.flag[i]);
        }
        st = 0;
    };
    Ornaxcompositedayrasterstype r;
    for (std::size_t d = 0; d < days; ++d) {
        r.eday.assign(eday.begin() + d * pixels, eday.begin() + (d + 1) * pixels);
        r.erefday.assign(eref.begin() + d * pixels, eref.begin() + (d + 1) * pixels);
        r.quality.assign(quality.begin() + d * pixels, quality.begin() + (d + 1) * pixels);
        // a day of all-NaN quality stands for a day without outputs
        const bool none = std::isnan(r.quality[0]);
        ornax_gapfill_push(filler, none ? nullptr : &r, sink, status);
        ASSERT_EQ(status, 0);
    }
    ornax_gapfill_finish(filler, sink, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(expected_index, static_cast<int>(days));
}

struct Case {
    const char* name;
    int max_gap;
    Series series;
    std::vector<int> flag;
    std::vector<float> et;        // expected ET (missing where not filled)
    std::vector<float> distance;  // expected days to the nearest observation
};

const float nan_day = std::nanf("");

TEST(CompositeGapFill, HandWorkedSeries) {
    const int o = ornax_fill_observed, f = ornax_fill_filled, r = ornax_fill_filled_reference,
              n = ornax_fill_not_filled;
    const Case cases[] = {
        // ratios 0.5 and 0.8 three days apart: 0.6 and 0.7 times the days' reference ET
        {"linear ratio across two missing days",
         10,
         {{5, m, m, 8}, {10, 20, 10, 10}, {0, 0, 0, 0}},
         {o, f, f, o},
         {5, 0.6f * 20, 0.7f * 10, 8},
         {0, 1, 1, 0}},
        {"missing days without reference ET interpolate it",
         10,
         {{5, m, m, 12.8f}, {10, m, m, 16}, {0, 77, 77, 0}},
         {o, r, r, o},
         {5, 0.6f * 12, 0.7f * 14, 12.8f},
         {0, 1, 1, 0}},
        {"a gap of exactly the limit is filled",
         2,
         {{4, m, m, 4}, {8, m, m, 8}, {0, 17, 17, 0}},
         {o, r, r, o},
         {4, 4, 4, 4},
         {0, 1, 1, 0}},
        {"a gap one day over the limit stays missing",
         2,
         {{4, m, m, m, 4}, {8, m, m, m, 8}, {0, 17, 17, 17, 0}},
         {o, n, n, n, o},
         {4, m, m, m, 4},
         {0, m, m, m, 0}},
        {"no filling before the first or after the last observation",
         10,
         {{m, 3, m}, {m, 6, m}, {77, 0, 77}},
         {n, o, n},
         {m, 3, m},
         {m, 0, m}},
        {"a gap limit of 0 fills nothing",
         0,
         {{2, m, 2}, {4, 4, 4}, {0, 77, 0}},
         {o, n, o},
         {2, m, 2},
         {0, m, 0}},
        {"values of a pixel not computed are not observations",
         10,
         {{2, 9, 2}, {4, 9, 4}, {0, 1, 0}},
         {o, r, o},
         {2, 0.5f * 4, 2},
         {0, 1, 0}},
        {"zero reference ET: no ratio, the day's reference ET is used",
         10,
         {{2, 0, 3}, {4, 0, 4}, {0, 0, 0}},
         {o, f, o},
         {2, 0, 3},
         {0, 1, 0}},
        {"a day without outputs is a missing day",
         10,
         {{3, m, 6}, {6, m, 6}, {0, nan_day, 0}},
         {o, r, o},
         {3, 0.75f * 6, 6},
         {0, 1, 0}},
        {"the distance is to the nearer observation",
         10,
         {{1, m, m, m, m, 1}, {1, 1, 1, 1, 1, 1}, {0, 16, 0 + 16, 16, 16, 0}},
         {o, r, r, r, r, o},
         {1, 1, 1, 1, 1, 1},
         {0, 1, 2, 2, 1, 0}},
    };
    for (const Case& c : cases) {
        std::vector<Result> out;
        fill(c.series.eday, c.series.eref, c.series.quality, 1, c.max_gap, out);
        ASSERT_EQ(out[0].flag.size(), c.flag.size()) << c.name;
        for (std::size_t d = 0; d < c.flag.size(); ++d) {
            EXPECT_EQ(out[0].flag[d], c.flag[d]) << c.name << ", day " << d;
            EXPECT_NEAR(out[0].et[d], c.et[d], 1e-5f) << c.name << ", day " << d;
            EXPECT_EQ(out[0].distance[d], c.distance[d]) << c.name << ", day " << d;
        }
    }
}

// Whole-series fill of one pixel, the rule written out directly.
Result reference_fill(const Series& s, int max_gap) {
    const int days = static_cast<int>(s.eday.size());
    const auto eref_ok = [&](int d) {
        return s.quality[d] == computed && s.eref[d] != missing && s.eref[d] >= 0;
    };
    const auto obs = [&](int d) { return eref_ok(d) && s.eref[d] > 0 && s.eday[d] != missing; };
    const auto around = [&](int d, auto ok, int& p, int& n) {
        for (p = d - 1; p >= 0 && !ok(p); --p) {
        }
        for (n = d + 1; n < days && !ok(n); ++n) {
        }
        return p >= 0 && n < days && n - p - 1 <= max_gap;
    };
    Result r;
    for (int d = 0; d < days; ++d) {
        int p = 0, n = 0, pe = 0, ne = 0;
        if (obs(d)) {
            r.flag.push_back(ornax_fill_observed);
            r.et.push_back(s.eday[d]);
            r.distance.push_back(0);
        } else if (around(d, obs, p, n) && (eref_ok(d) || around(d, eref_ok, pe, ne))) {
            const float rp = s.eday[p] / s.eref[p], rn = s.eday[n] / s.eref[n];
            const float ratio = rp + static_cast<float>(d - p) / (n - p) * (rn - rp);
            float eref = s.eref[d];
            if (!eref_ok(d))
                eref =
                    s.eref[pe] + static_cast<float>(d - pe) / (ne - pe) * (s.eref[ne] - s.eref[pe]);
            r.flag.push_back(eref_ok(d) ? ornax_fill_filled : ornax_fill_filled_reference);
            r.et.push_back(ratio * eref);
            r.distance.push_back(static_cast<float>(std::min(d - p, n - d)));
        } else {
            r.flag.push_back(ornax_fill_not_filled);
            r.et.push_back(missing);
            r.distance.push_back(missing);
        }
    }
    return r;
}

TEST(CompositeGapFill, StreamingEqualsWholeSeriesFill) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(0.5f, 20.0f), chance(0.0f, 1.0f);
    const std::size_t pixels = 40;
    const int days = 60;
    for (int max_gap : {0, 1, 3, 10}) {
        for (float cloud : {0.2f, 0.6f, 0.9f}) {
            std::vector<float> eday(pixels * days), eref(pixels * days), quality(pixels * days);
            for (std::size_t k = 0; k < eday.size(); ++k) {
                const float u = chance(random);
                quality[k] = u < cloud ? 77.0f : 0.0f;
                eref[k] = u < cloud * 0.5f ? missing : value(random);
                eday[k] = quality[k] == 0.0f && chance(random) > 0.05f ? value(random) : missing;
            }
            std::vector<Result> out;
            fill(eday, eref, quality, pixels, max_gap, out);
            for (std::size_t i = 0; i < pixels; ++i) {
                Series s;
                for (int d = 0; d < days; ++d) {
                    s.eday.push_back(eday[d * pixels + i]);
                    s.eref.push_back(eref[d * pixels + i]);
                    s.quality.push_back(quality[d * pixels + i]);
                }
                const Result want = reference_fill(s, max_gap);
                for (int d = 0; d < days; ++d) {
                    ASSERT_EQ(out[i].flag[d], want.flag[d])
                        << "gap " << max_gap << " cloud " << cloud << " pixel " << i << " day "
                        << d;
                    ASSERT_NEAR(out[i].et[d], want.et[d],
                                1e-4f * std::max(1.0f, std::fabs(want.et[d])));
                    ASSERT_EQ(out[i].distance[d], want.distance[d]);
                }
            }
        }
    }
}

TEST(CompositeGapFill, GapLimitOutOfRangeIsRefused) {
    for (int gap : {-1, ornax_composite_max_gap_limit + 1}) {
        Ornaxgapfillertype filler;
        int status = 0;
        ornax_gapfill_init(filler, 4, gap, missing, status);
        EXPECT_EQ(status, 3) << gap;
    }
}

}  // namespace
