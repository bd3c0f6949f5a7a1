// The core entry over a spread of realistic points: status, energy closure, bounds of
// daily ET, independence of runs, convergence and failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "support/core_points.hpp"

namespace {

constexpr int spread = 60;

bool same_bits(const Ornaxoutputvartype& a, const Ornaxoutputvartype& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(CoreEntry, InvariantsOverRealisticSummerPoints) {
    int perennial = 0;
    for (int n = 0; n < spread; ++n) {
        Ornaxlandtype land;
        Ornaxinputvartype input;
        core_points::make_summer_point(n, land, input);
        perennial += land.perennial_flag;
        Ornaxoutputvartype out;
        reset_out_var(out);
        int st = -1;
        Ornaxcorediagnostics diag;
        ornax(land, input, out, 0, n % 2, st, &diag);
        ASSERT_EQ(st, 0) << "point " << n;
        EXPECT_NEAR(out.RNET2 - out.XLE2 - out.G2 - out.H2, 0.0f, 0.05f) << n;
        EXPECT_GE(out.XLE2, 0.0f) << n;
        EXPECT_GE(out.EDAY, 0.0f) << n;
        EXPECT_LE(out.EDAY, 30.0f) << n;
        EXPECT_GE(out.TA2, out.TA1 + 0.5f - 1e-4f) << n;
        EXPECT_GT(out.Z2, 50.0f) << n;
        EXPECT_LE(diag.hn_evaluations, 301) << n;
        EXPECT_EQ(out.XLE1 + out.XLES1 + out.XLEC1 + out.H1 + out.HS1 + out.HC1 + out.G1, 0.0f);
    }
    EXPECT_GT(perennial, 5);
}

TEST(CoreEntry, SameInputSameOutputWhateverRanBeforeAndInParallel) {
    Ornaxlandtype land_a, land_b;
    Ornaxinputvartype in_a, in_b;
    core_points::make_summer_point(4, land_a, in_a);
    core_points::make_summer_point(11, land_b, in_b);
    land_b.perennial_flag = 1;
    Ornaxoutputvartype first, between, again;
    int st = -1;
    ornax(land_a, in_a, first, 0, 0, st);
    ornax(land_b, in_b, between, 0, 0, st);
    ornax(land_a, in_a, again, 0, 0, st);
    EXPECT_TRUE(same_bits(first, again));
    EXPECT_FALSE(same_bits(first, between));
    Ornaxoutputvartype par_a, par_b;
    int st_a = -1, st_b = -1;
    std::thread ta([&] {
        for (int r = 0; r < 20; ++r) ornax(land_a, in_a, par_a, 0, 0, st_a);
    });
    std::thread tb([&] {
        for (int r = 0; r < 20; ++r) ornax(land_b, in_b, par_b, 0, 0, st_b);
    });
    ta.join();
    tb.join();
    EXPECT_TRUE(same_bits(first, par_a));
    EXPECT_TRUE(same_bits(between, par_b));
}

TEST(CoreEntry, ConvergenceCountAndHeatFluxCap) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    const std::string dir = std::string(ORNAX_REFERENCE_DIR) + "/site/";
    core_points::load_site_case(dir + "savanna.dat", dir + "landcover.txt", land, input);
    Ornaxoutputvartype out;
    Ornaxcorediagnostics diag;
    int st = -1;
    ornax(land, input, out, 0, 0, st, &diag);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(diag.hn_evaluations, 8);  // typical point: a handful of relaxation steps
    // the time-2 flux of a new HN never exceeds the available energy RNET2 - G2
    Ornaxdailyvartype state;
    ornax_run_init(land, input, state, 0, st);
    for (float hn : {50.0f, 400.0f, 5000.0f}) {
        float new_hn = hn;
        ornax_find_hn(land, input, state, hn, new_hn, 0, st);
        ASSERT_EQ(st, 0);
        const Ornaxobstimetype& o2 = state.obs[1];
        EXPECT_LE(o2.tsec * new_hn / 10800.0f, o2.rnet - o2.g + 1e-3f);
        if (hn == 50.0f) {  // a cool trial: the layer asks for more than is available
            EXPECT_NEAR(o2.tsec * new_hn / 10800.0f, o2.rnet - o2.g, 1e-2f);
        }
    }
}

TEST(CoreEntry, OutOfTableRiseKeepsTrialHnAndConvergesAtOnce) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    core_points::make_summer_point(2, land, input);
    // a second observation 95 K warmer: the layer's rise is beyond the table's 80 K
    input.trad2 = input.trad1 + 95.0f;
    input.sdn2 = 1100.0f;
    Ornaxoutputvartype out;
    Ornaxcorediagnostics diag;
    int st = -1;
    ornax(land, input, out, 0, 0, st, &diag);
    EXPECT_EQ(diag.hn_evaluations, 1);
    EXPECT_EQ(diag.final_hn, 80.0f);
    EXPECT_EQ(out.Z2, 0.0f);  // never grown
}

TEST(CoreEntry, FailuresGiveStatusThree) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    core_points::make_summer_point(7, land, input);
    Ornaxoutputvartype out;
    int st = -1;
    Ornaxinputvartype bad = input;
    bad.npbl = 1;  // no level above the initial layer height
    ornax(land, bad, out, 0, 0, st);
    EXPECT_EQ(st, 3);
    bad = input;
    bad.sdn2 = 0.0f, bad.lwdn2 = 0.0f;  // negative net radiation at the second time
    ornax(land, bad, out, 0, 0, st);
    EXPECT_EQ(st, 3);
    bad = input;
    bad.lon = 180.0f;  // no time zone
    ornax(land, bad, out, 0, 0, st);
    EXPECT_EQ(st, 3);
    bad = input;
    bad.taobs_day[5] = std::nanf("");  // a value that is not a number never leaves the core
    ornax(land, bad, out, 0, 0, st);
    EXPECT_EQ(st, 3);
    // bare ground of a non-water class of zero canopy height gives finite fluxes
    land.hmin = land.hmax = 0.0f;
    input.hc = input.xlai = input.fc = 0.0f;
    ornax(land, input, out, 0, 0, st);
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(std::isfinite(out.RA2));
}

}  // namespace

namespace {

// Guards against diagnostic output that changes state: with every debug switch on, the
// results are those of a quiet run and the diagnostic lines are written.
TEST(CoreEntry, DiagnosticLinesLeaveResultsUnchanged) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    core_points::make_summer_point(9, land, input);
    Ornaxoutputvartype quiet, loud;
    int st_quiet = -1, st_loud = -1;
    ornax(land, input, quiet, 0, 0, st_quiet);
    debug_iflag = 1;
    ornax_debug = 1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ornax(land, input, loud, 1, 0, st_loud);
    const std::string screen = testing::internal::GetCapturedStdout();
    const std::string log = testing::internal::GetCapturedStderr();
    debug_iflag = 0;
    ornax_debug = 0;
    EXPECT_EQ(st_quiet, 0);
    EXPECT_EQ(st_loud, 0);
    EXPECT_TRUE(same_bits(quiet, loud));
    EXPECT_NE(screen.find("          EDAY"), std::string::npos);
    if (ornax_logunit == 0) {
        EXPECT_NE(log.find("In findhn: Rnet"), std::string::npos);
        EXPECT_NE(log.find("Canopy height, fc"), std::string::npos);
    }
}

}  // namespace
