// Windows of a composite and the sums of a window: N-day windows and calendar months
// (across a year end, in a leap year, partial ones left out), the sums written only where
// every day has ET, MJ m-2 to mm of water, the mean ratio and the day counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "composite/window.hpp"
#include "composite/options.hpp"
#include "support/composite.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace {

using composite_test::missing;

std::vector<Ornaxcompositedaytype> range(int year, int doy, int count) {
    std::vector<Ornaxcompositedaytype> days;
    for (int k = 0; k < count; ++k) {
        Ornaxcompositedaytype d;
        d.year = year;
        d.doy = doy;
        days.push_back(d);
        const int length = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 366 : 365;
        if (++doy > length) {
            ++year;
            doy = 1;
        }
    }
    return days;
}

std::string labels(const std::vector<Ornaxcompositewindowtype>& windows) {
    std::string text;
    for (const Ornaxcompositewindowtype& w : windows) text += w.label() + " ";
    return text;
}

TEST(CompositeWindows, DaysWeeksAndMonths) {
    struct Case {
        const char* name;
        int year, doy, count, window_days;
        std::string windows;
        std::size_t left_out;
    };
    const Case cases[] = {
        {"two weeks and a partial one", 2019, 200, 17, 7, "2019200_2019206 2019207_2019213 ", 1},
        {"whole days only", 2019, 200, 4, 2, "2019200_2019201 2019202_2019203 ", 0},
        {"across the year end", 2019, 364, 4, 2, "2019364_2019365 2020001_2020002 ", 0},
        {"shorter than one window", 2019, 200, 3, 7, "", 1},
        // 2019 day 182 is 1 July; July and August whole, September partial
        {"calendar months", 2019, 182, 70, 0, "2019182_2019212 2019213_2019243 ", 1},
        {"a month started late is left out", 2019, 183, 61, 0, "2019213_2019243 ", 1},
        {"leap February", 2020, 32, 29, 0, "2020032_2020060 ", 0},
        {"common February", 2019, 32, 28, 0, "2019032_2019059 ", 0},
        {"December into January", 2019, 335, 62, 0, "2019335_2019365 2020001_2020031 ", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> left_out;
        const auto windows =
            ornax_composite_windows(range(c.year, c.doy, c.count), c.window_days, left_out);
        EXPECT_EQ(labels(windows), c.windows) << c.name;
        EXPECT_EQ(left_out.size(), c.left_out) << c.name;
    }
}

Ornaxfilleddaytype day(std::vector<float> et, std::vector<float> ratio,
                       std::vector<unsigned char> flag) {
    Ornaxfilleddaytype d;
    d.et = std::move(et);
    d.ratio = std::move(ratio);
    d.flag = std::move(flag);
    d.distance.assign(d.et.size(), 0.0f);
    return d;
}

TEST(CompositeWindows, SumsMeansAndCounts) {
    const unsigned char o = ornax_fill_observed, f = ornax_fill_filled, n = ornax_fill_not_filled;
    Ornaxcompositeaccumtype accum;
    ornax_composite_accum_reset(accum, 3);
    // pixel 0: every day has ET; pixel 1: one day not filled; pixel 2: never
    ornax_composite_accum_add(accum, day({2.0f, 3.0f, missing}, {0.5f, 0.6f, missing}, {o, o, n}),
                              missing);
    ornax_composite_accum_add(
        accum, day({4.0f, missing, missing}, {0.7f, missing, missing}, {f, n, n}), missing);
    ornax_composite_accum_add(accum, day({6.5f, 1.0f, missing}, {0.9f, 0.2f, missing}, {o, f, n}),
                              missing);
    std::vector<std::vector<float>> r;
    ornax_composite_accum_result(accum, 3, missing, r);
    ASSERT_EQ(r.size(), ornax_composite_variables().size());
    EXPECT_FLOAT_EQ(r[0][0], 12.5f);
    EXPECT_FLOAT_EQ(r[1][0], 12.5f / ornax_latent_heat_mj_per_kg);
    EXPECT_FLOAT_EQ(r[2][0], (0.5f + 0.7f + 0.9f) / 3.0f);
    EXPECT_EQ(r[3][0], 2.0f);
    EXPECT_EQ(r[4][0], 1.0f);
    // a day without ET: no sum, but the mean ratio and the counts of the days it has
    EXPECT_EQ(r[0][1], missing);
    EXPECT_EQ(r[1][1], missing);
    EXPECT_FLOAT_EQ(r[2][1], 0.4f);
    EXPECT_EQ(r[3][1], 1.0f);
    EXPECT_EQ(r[4][1], 1.0f);
    for (int k : {0, 1, 2}) EXPECT_EQ(r[static_cast<std::size_t>(k)][2], missing) << k;
    EXPECT_EQ(r[3][2], 0.0f);
    EXPECT_EQ(r[4][2], 0.0f);
    // a fresh window starts from nothing
    ornax_composite_accum_reset(accum, 3);
    ornax_composite_accum_add(accum, day({1.0f, 1.0f, 1.0f}, {0.1f, 0.1f, 0.1f}, {o, o, o}),
                              missing);
    ornax_composite_accum_result(accum, 1, missing, r);
    EXPECT_FLOAT_EQ(r[0][0], 1.0f);
    EXPECT_EQ(r[3][0], 1.0f);
}

TEST(CompositeOptions, ArgumentsAndRefusals) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status, window_days, max_gap;
    };
    const Case cases[] = {
        {"defaults", {"days"}, 0, ornax_composite_default_window, ornax_composite_default_max_gap},
        {"month and gap", {"-w", "month", "-g", "4", "days"}, 0, 0, 4},
        {"week", {"-w", "week", "days"}, 0, 7, ornax_composite_default_max_gap},
        {"gap over the limit", {"-g", "61", "days"}, 3, 0, 0},
        {"window of zero days", {"-w", "0", "days"}, 3, 0, 0},
        {"window not a number", {"-w", "7x", "days"}, 3, 0, 0},
        {"no folder", {"-w", "7"}, 3, 0, 0},
        {"two folders", {"a", "b"}, 3, 0, 0},
        {"unknown option", {"--weekly", "days"}, 3, 0, 0},
        {"option without value", {"days", "-g"}, 3, 0, 0},
        {"anomaly without output", {"--anomaly", "a.nc"}, 3, 0, 0},
        {"range ends before it starts", {"--first", "2019200", "--last", "2019199", "d"}, 3, 0, 0},
        {"day 366 of a common year", {"--first", "2019366", "d"}, 3, 0, 0},
        {"day 0", {"--last", "2019000", "d"}, 3, 0, 0},
        {"day 366 of a leap year",
         {"--first", "2020366", "days"},
         0,
         ornax_composite_default_window,
         ornax_composite_default_max_gap},
        {"anomaly file twice", {"--anomaly", "-o", "z.nc", "a.nc", "./a.nc"}, 3, 0, 0},
        {"anomaly output is an input", {"--anomaly", "-o", "a.nc", "a.nc", "b.nc"}, 3, 0, 0},
        {"help", {"--help"}, 1, 0, 0},
    };
    for (const Case& c : cases) {
        Ornaxcompositeoptionstype options;
        std::string why;
        int status = -1;
        ornax_composite_parse(c.args, options, why, status);
        EXPECT_EQ(status, c.status) << c.name;
        if (status == 3) {
            EXPECT_FALSE(why.empty()) << c.name;
        }
        if (status != 0) continue;
        EXPECT_EQ(options.window_days, c.window_days) << c.name;
        EXPECT_EQ(options.max_gap, c.max_gap) << c.name;
        EXPECT_EQ(options.output_dir, "days/composite") << c.name;
    }
}

// The README names every composite, gap-filled and anomaly variable and every flag
// meaning of the tables, and the default gap limit and fewest years the code uses.
TEST(CompositeReadme, NamesWhatTheTablesHold) {
    const std::string readme =
        composite_test::read_text(std::string(ORNAX_SOURCE_DIR) + "/README.md");
    ASSERT_FALSE(readme.empty());
    std::vector<std::string> words;
    for (const auto* table :
         {&ornax_composite_variables(), &ornax_filled_day_variables(), &ornax_anomaly_variables()})
        for (const Ornaxcompositevarinfotype& v : *table) words.push_back(v.var.name);
    for (const auto* flags : {&ornax_fill_flags(), &ornax_anomaly_flags()})
        for (const Ornaxfillflaginfotype& f : *flags)
            words.push_back(std::to_string(f.value) + " `" + f.meaning + "`");
    words.push_back("(default **" + std::to_string(ornax_composite_default_max_gap) + "**");
    words.push_back("default **" + std::to_string(ornax_composite_default_min_years) + "**");
    for (const std::string& word : words) EXPECT_NE(readme.find(word), std::string::npos) << word;
}

}  // namespace
