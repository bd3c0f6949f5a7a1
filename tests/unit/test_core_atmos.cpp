// Canopy architecture, stability corrections, resistances and the air-temperature solution.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ornax90/ORNAX_atmos_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "ornax90/lanes/one.hpp"
#include "support/core_points.hpp"

namespace {

Ornaxcanopygeomtype start_geometry(float hc, float fc) {
    Ornaxcanopygeomtype g;
    g.hc = hc, g.fc = fc, g.d = 2.0f * hc / 3.0f, g.z0m = 0.125f * hc;
    return g;
}

// The corrections of two values at once, and each correction alone, hold the bits
// of single calls, whichever value is stable, near neutral or beyond the momentum limit.
TEST(CoreStability, PairAndMomentumAloneEqualSingleCalls) {
    const float values[] = {0.2f, 0.0f, -0.0058f, -0.0059f, -0.37f, -3.0f, -15.025f, -40.0f};
    const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v); };
    for (const float a : values) {
        for (const float b : values) {
            float ma = -1, ha = -1, mb = -1, m1 = -2, h1 = -2, m2 = -2, h2 = -2;
            ornax_one_lane::lanes_psimhn_pair(a, b, ma, ha, mb);
            ornax_one_lane::lanes_psimhn(a, m1, h1);
            ornax_one_lane::lanes_psimhn(b, m2, h2);
            EXPECT_EQ(bits(ma), bits(m1)) << a << " " << b;
            EXPECT_EQ(bits(ha), bits(h1)) << a << " " << b;
            EXPECT_EQ(bits(mb), bits(m2)) << a << " " << b;
            EXPECT_EQ(bits(ornax_one_lane::lanes_psim(b)), bits(m2)) << b;
            EXPECT_EQ(bits(ornax_one_lane::lanes_psih(b)), bits(h2)) << b;
        }
    }
}

// Values are the same only bit for bit: zeros of either sign differ, a number that is not
// one equals itself.
TEST(CoreStability, SameBitsTellsZerosApart) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(ornax_one_lane::lane_same_bits(1.5f, 1.5f));
    EXPECT_TRUE(ornax_one_lane::lane_same_bits(nan, nan));
    EXPECT_FALSE(ornax_one_lane::lane_same_bits(0.0f, -0.0f));
    EXPECT_FALSE(ornax_one_lane::lane_same_bits(1.0f, std::nextafter(1.0f, 2.0f)));
}

TEST(CoreStability, NeutralStableAndLimitedUnstable) {
    float psim = -1, psih = -1;
    int st = -1;
    for (float zeta : {0.0f, 0.3f, -0.0058f}) {
        ornax_psimhn_ky(zeta, psim, psih, st);
        EXPECT_EQ(psim, 0.0f);
        EXPECT_EQ(psih, 0.0f);
    }
    ornax_psimhn_ky(-1.0f, psim, psih, st);
    EXPECT_NEAR(psih, 1.2f * std::log(1.33f / 0.33f), 1e-5f);
    EXPECT_NEAR(psim, 1.0737f, 1e-3f);
    float psim15 = 0, psih15 = 0;
    ornax_psimhn_ky(-15.025f, psim15, psih15, st);
    ornax_psimhn_ky(-40.0f, psim, psih, st);
    EXPECT_FLOAT_EQ(psim, psim15);  // momentum correction saturates
    EXPECT_GT(psih, psih15);        // heat correction does not
}

TEST(CoreCanopyArch, WaterPerennialAndZeroHeightClasses) {
    Ornaxlandtype land;
    int st = -1;
    Ornaxcanopygeomtype g = start_geometry(12.0f, 0.9f);
    land.water_flag = 1;
    ornax_canopy_arch(3.0f, 1.0f, 30.0f, 50.0f, 0.05f, land, g, st);
    EXPECT_EQ(g.d, 0.0f);
    EXPECT_EQ(g.z0m, 3.5e-4f);
    EXPECT_FLOAT_EQ(g.lnzu, std::log(50.0f / 3.5e-4f));
    // a perennial class takes the ordinary vegetated branch on a fresh geometry
    land.water_flag = 0;
    Ornaxcanopygeomtype ordinary = start_geometry(12.0f, 0.9f);
    Ornaxcanopygeomtype perennial = start_geometry(12.0f, 0.9f);
    ornax_canopy_arch(3.0f, 1.0f, 30.0f, 50.0f, 0.05f, land, ordinary, st);
    land.perennial_flag = 1;
    ornax_canopy_arch(3.0f, 1.0f, 30.0f, 50.0f, 0.05f, land, perennial, st);
    EXPECT_EQ(perennial.lnzu, ordinary.lnzu);
    EXPECT_EQ(perennial.wind_exp, ordinary.wind_exp);
    EXPECT_GT(perennial.lnzu, 0.0f);
    EXPECT_LT(perennial.wind_exp, 0.0f);
    EXPECT_LE(perennial.soil_wind_ratio, 0.95f);
    EXPECT_EQ(perennial.ftheta, 0.8f);  // dense canopy seen at 30 degrees: limited
    // zero canopy height gets the 0.005 m floor; a small positive z0m is kept
    land.perennial_flag = 0;
    g = start_geometry(0.0f, 0.4f);
    ornax_canopy_arch(1.0f, 1.0f, 30.0f, 50.0f, 0.05f, land, g, st);
    EXPECT_EQ(g.z0m, 0.005f);
    EXPECT_FLOAT_EQ(g.lnzu, std::log(50.0f / 0.005f));
    g = start_geometry(0.004f, 0.4f);
    ornax_canopy_arch(1.0f, 1.0f, 30.0f, 50.0f, 0.05f, land, g, st);
    EXPECT_EQ(g.z0m, 0.0005f);
    EXPECT_EQ(g.wind_exp, 0.0f);
}

Ornaxresistanceinputs vegetated_inputs() {
    Ornaxresistanceinputs in;
    in.h = 150.0f, in.u = 4.0f, in.ta = 20.0f, in.ts = 20.0f, in.rhocp = 1180.0f;
    in.xl = 0.05f, in.xlai = 2.0f, in.zu = 50.0f, in.fc = 0.6f;
    in.zeta_limits = {0.0f, -10.0f};
    return in;
}

TEST(CoreResistance, SoilResistanceBranchesAndCorrection) {
    Ornaxlandtype land;
    Ornaxcanopygeomtype geom = start_geometry(1.0f, 0.6f);
    int st = -1;
    ornax_canopy_arch(2.0f, 1.0f, 0.0f, 50.0f, 0.05f, land, geom, st);
    auto rs_of = [&](Ornaxresistanceinputs in) {
        Ornaxcanopygeomtype g = geom;
        float ra = 0, rs = 0, rx = 0;
        ornax_get_resistance(in, g, ra, rs, rx, st);
        EXPECT_EQ(st, 0);
        return rs;
    };
    Ornaxresistanceinputs in = vegetated_inputs();
    const float base = rs_of(in);
    in.ts = in.ta + 1.0f;  // dT of exactly 1 keeps the constant soil term
    EXPECT_FLOAT_EQ(rs_of(in), base);
    in.ts = in.ta + 9.0f;
    EXPECT_LT(rs_of(in), 0.8f * base);
    in = vegetated_inputs();
    in.rs_correct = 0.5f;
    EXPECT_EQ(rs_of(in), base);  // correction switched off
    in.region_switch = 1;
    EXPECT_FLOAT_EQ(rs_of(in), 0.5f * base);
    for (float factor : {0.0f, 1.0f, 1.5f}) {
        in.rs_correct = factor;
        EXPECT_EQ(rs_of(in), base) << factor;
    }
}

TEST(CoreResistance, BareSoilCalmAirAndUndefinedFirstPass) {
    Ornaxlandtype land;
    int st = -1;
    float ra = -1, rs = -1, rx = -1;
    Ornaxcanopygeomtype bare = start_geometry(0.2f, 0.0f);
    ornax_canopy_arch(0.0f, 1.0f, 0.0f, 50.0f, 0.01f, land, bare, st);
    Ornaxresistanceinputs in = vegetated_inputs();
    in.fc = 0.0f;
    ornax_get_resistance(in, bare, ra, rs, rx, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(rs, 0.0f);
    EXPECT_EQ(rx, 10000.0f);
    EXPECT_GT(ra, 5.0f);
    EXPECT_LT(ra, 200.0f);
    // calm air: no resistances, the previous ones stand
    Ornaxcanopygeomtype veg = start_geometry(1.0f, 0.6f);
    ornax_canopy_arch(2.0f, 1.0f, 0.0f, 50.0f, 0.05f, land, veg, st);
    in = vegetated_inputs();
    in.u = 0.0f;
    ra = rs = rx = -1;
    ornax_get_resistance(in, veg, ra, rs, rx, st);
    EXPECT_EQ(st, 3);
    EXPECT_EQ(ra, -1.0f);
    EXPECT_EQ(rx, -1.0f);
    // stored psim equal to lnzu: stability taken as neutral
    in = vegetated_inputs();
    veg.psim = veg.lnzu;
    ornax_get_resistance(in, veg, ra, rs, rx, st);
    EXPECT_EQ(veg.psim, 0.0f);
    EXPECT_EQ(veg.psih, 0.0f);
    // a stable surface layer at the second time keeps no correction (upper limit 0)
    in.h = -80.0f;
    veg.psim = 1.0f;
    ornax_get_resistance(in, veg, ra, rs, rx, st);
    EXPECT_EQ(veg.psim, 0.0f);
    in.h = 200.0f;
    ornax_get_resistance(in, veg, ra, rs, rx, st);
    EXPECT_GT(veg.psim, 0.0f);  // unstable: corrections apply
}

// State of the savanna site after initialisation and one balance evaluation's inputs.
Ornaxdailyvartype savanna_state(Ornaxinputvartype& input) {
    Ornaxlandtype land;
    const std::string dir = std::string(ORNAX_REFERENCE_DIR) + "/site/";
    core_points::load_site_case(dir + "savanna.dat", dir + "landcover.txt", land, input);
    Ornaxdailyvartype state;
    int st = -1;
    ornax_run_init(land, input, state, 0, st);
    EXPECT_EQ(st, 0);
    for (Ornaxobstimetype& ob : state.obs) {
        ob.rnet = 450.0f, ob.rnsoil = -40.0f, ob.rncan = 490.0f, ob.g = 20.0f, ob.h = 120.0f;
    }
    return state;
}

TEST(CoreFindTa, NegativeSoilEvaporationClippedOnlyAtTimeTwo) {
    Ornaxinputvartype input;
    Ornaxdailyvartype state = savanna_state(input);
    int st = -1;
    ornax_find_ta(1, input.trad1, input.fc, input.fg, input, state, {0.4f, -0.5f}, 0, st);
    EXPECT_LT(state.xles, -0.001f);  // time 1 keeps a negative soil evaporation
    EXPECT_FLOAT_EQ(state.xle, 450.0f - 120.0f - 20.0f);
    ornax_find_ta(2, input.trad2, input.fc, input.fg, input, state, {0.0f, -10.0f}, 0, st);
    const Ornaxobstimetype& ob = state.obs[1];
    EXPECT_EQ(state.xles, 0.0f);
    EXPECT_GE(state.xlec, 0.0f);
    EXPECT_FLOAT_EQ(ob.hc + state.xlec, ob.rncan);
    // the final pass uses the resistances as they stand: Ta, tac, Tc, Ts and HS follow
    // from the stored RA, RS, RX without a further resistance evaluation
    const float f = state.canopy.ftheta;
    const float ta = input.trad2 - ob.ra * ob.h / ob.rhocp - ob.hc * f * (0.5f * ob.rx) / ob.rhocp -
                     ob.rs * (1.0f - f) * (ob.h - ob.hc) / ob.rhocp;
    EXPECT_NEAR(ob.ta, ta, 1e-3f);
    EXPECT_NEAR(ob.tac, ob.ta + ob.ra * ob.h / ob.rhocp, 1e-3f);
    EXPECT_NEAR(ob.hs, (ob.ts - ob.tac) * ob.rhocp / ob.rs, 1e-2f);
    // no energy left for evaporation: G takes the rest and LE is 0; the soil sensible
    // heat still comes through the soil resistance afterwards
    state.obs[0].h = 500.0f;
    ornax_find_ta(1, input.trad1, input.fc, input.fg, input, state, {0.4f, -0.5f}, 0, st);
    const Ornaxobstimetype& o1 = state.obs[0];
    EXPECT_EQ(state.xle, 0.0f);
    EXPECT_FLOAT_EQ(o1.g, 450.0f - 500.0f);
    EXPECT_NEAR(o1.hs, (o1.ts - o1.tac) * o1.rhocp / o1.rs, 1e-2f);
    EXPECT_FLOAT_EQ(state.xles, o1.rnsoil - o1.hs - o1.g);
}

}  // namespace
