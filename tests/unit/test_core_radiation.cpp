// Sun position, solar partition, canopy radiative properties and net radiation.
#include <gtest/gtest.h>

#include <cmath>

#include "ornax90/ORNAX_rad_mod.hpp"

namespace {

Ornaxlandtype grass_class() {
    Ornaxlandtype land;
    land.aleafv = 0.83f, land.aleafn = 0.35f, land.aleafl = 0.95f;
    land.adeadv = 0.55f, land.adeadn = 0.38f, land.adeadl = 0.95f;
    return land;
}

TEST(CoreSun, SunriseOnTheHorizonAndPolarDayAndNightDefined) {
    float zen = 0, rise = 0, set = 0;
    int st = -1;
    ornax_get_sun_zen(40.0f, -100.0f, -90.0f, 180, 2015, 12.0f, zen, rise, set, st);
    EXPECT_EQ(st, 0);
    EXPECT_GT(set - rise, 14.0f);  // long summer day at 40 N
    float zen_rise = 0;
    ornax_get_sun_zen(40.0f, -100.0f, -90.0f, 180, 2015, rise, zen_rise, rise, set, st);
    EXPECT_NEAR(zen_rise, 1.5707964f, 2e-3f);  // the sun is on the horizon at sunrise
    float zen_am = 0, zen_pm = 0;
    const float noon = 0.5f * (rise + set);
    ornax_get_sun_zen(40.0f, -100.0f, -90.0f, 180, 2015, noon - 3, zen_am, rise, set, st);
    ornax_get_sun_zen(40.0f, -100.0f, -90.0f, 180, 2015, noon + 3, zen_pm, rise, set, st);
    EXPECT_NEAR(zen_am, zen_pm, 1e-4f);
    // polar day and polar night: clamped hour angle gives 24 h and 0 h of daylight
    ornax_get_sun_zen(80.0f, 10.0f, 15.0f, 172, 2015, 12.0f, zen, rise, set, st);
    EXPECT_NEAR(set - rise, 24.0f, 1e-3f);
    ornax_get_sun_zen(80.0f, 10.0f, 15.0f, 355, 2015, 12.0f, zen, rise, set, st);
    EXPECT_TRUE(std::isfinite(rise));
    EXPECT_NEAR(set - rise, 0.0f, 1e-3f);
    EXPECT_GT(zen, 1.5707964f);
}

TEST(CoreSolarPartition, NightBoundaryClearnessLimitAndRaisedFractions) {
    Ornaxradiationpartitiondatatype part;
    float used = -1;
    int st = -1;
    // first zenith whose cosine is at most 0.01 is night; the one before is day
    float zen = std::acos(0.0105f);
    while (std::cos(zen) > 0.01f) zen = std::nextafter(zen, 2.0f);
    ornax_get_rad_comps(300.0f, zen, part, used, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(used, 0.0f);
    EXPECT_EQ(part.diffuse_visible, 1.0f);
    EXPECT_EQ(part.direct_nir, 0.0f);
    EXPECT_EQ(part.visible_share, 0.5f);
    ornax_get_rad_comps(300.0f, std::nextafter(zen, 0.0f), part, used, st);
    EXPECT_EQ(used, 300.0f);
    // measured insolation above the potential: clearness 1, partition unchanged by more
    Ornaxradiationpartitiondatatype bright, brighter;
    ornax_get_rad_comps(5000.0f, 0.5f, bright, used, st);
    ornax_get_rad_comps(9000.0f, 0.5f, brighter, used, st);
    EXPECT_EQ(bright.clearness, 1.0f);
    EXPECT_EQ(bright.direct_visible, brighter.direct_visible);
    EXPECT_GT(bright.direct_visible, 0.5f);
    // a direct fraction below 0.01 is raised to 0.011 only when the other exceeds 0.01
    int raised = 0, both_small = 0;
    for (float z = 0.2f; z < 1.56f; z += 0.02f) {
        for (float s = 0.0f; s < 1200.0f; s += 2.0f) {
            ornax_get_rad_comps(s, z, part, used, st);
            EXPECT_FLOAT_EQ(part.direct_visible + part.diffuse_visible, 1.0f);
            EXPECT_FLOAT_EQ(part.direct_nir + part.diffuse_nir, 1.0f);
            EXPECT_FALSE(part.direct_visible < 0.01f && part.direct_nir > 0.01f);
            EXPECT_FALSE(part.direct_nir < 0.01f && part.direct_visible > 0.01f);
            raised += part.direct_visible == 0.011f || part.direct_nir == 0.011f;
            both_small += part.direct_visible < 0.01f && part.direct_nir < 0.01f;
        }
    }
    EXPECT_GT(raised, 0);
    EXPECT_GT(both_small, 0);
}

TEST(CoreCanopyRadiation, LeaflessPointAndLiveDeadMixing) {
    const Ornaxlandtype land = grass_class();
    Ornaxcanopyradtype props;
    int st = -1;
    for (auto [lai, clump] : {std::pair{0.0f, 1.0f}, std::pair{2.0f, 0.0f}}) {
        ornax_get_rad_props(land, 1.0f, 0.6f, clump, lai, 0.24f, 0.38f, props, st);
        EXPECT_EQ(st, 0);
        EXPECT_EQ(props.tdirvis, 1.0f);
        EXPECT_EQ(props.tdifnir, 1.0f);
        EXPECT_EQ(props.tth, 1.0f);
        EXPECT_EQ(props.albvis, 0.24f);
        EXPECT_EQ(props.albnir, 0.38f);
        EXPECT_FLOAT_EQ(props.albedo, 0.31f);
    }
    // fg = 1 sees only live leaves, fg = 0 only dead ones
    Ornaxlandtype other = land;
    other.adeadv = 0.1f, other.adeadn = 0.9f, other.adeadl = 0.5f;
    Ornaxcanopyradtype a, b;
    ornax_get_rad_props(land, 1.0f, 0.6f, 1.0f, 2.0f, 0.24f, 0.38f, a, st);
    ornax_get_rad_props(other, 1.0f, 0.6f, 1.0f, 2.0f, 0.24f, 0.38f, b, st);
    EXPECT_EQ(a.albedo, b.albedo);
    EXPECT_EQ(a.tth, b.tth);
    other = land;
    other.aleafv = 0.1f, other.aleafn = 0.9f, other.aleafl = 0.5f;
    ornax_get_rad_props(land, 0.0f, 0.6f, 1.0f, 2.0f, 0.24f, 0.38f, a, st);
    ornax_get_rad_props(other, 0.0f, 0.6f, 1.0f, 2.0f, 0.24f, 0.38f, b, st);
    EXPECT_EQ(a.tdifvis, b.tdifvis);
    EXPECT_GT(a.tdifvis, 0.0f);
    EXPECT_LT(a.tdifvis, 1.0f);
}

TEST(CoreNetRadiation, DayWithoutSunEqualsNight) {
    const Ornaxradiationpartitiondatatype part{1.0f, 0.5f, 0.5f, 0.2f, 0.0f, 0.8f, 1.0f};
    Ornaxcanopyradtype props;
    int st = -1;
    ornax_get_rad_props(grass_class(), 1.0f, 0.6f, 1.0f, 2.0f, 0.24f, 0.38f, props, st);
    float day[5], night[5];
    ornax_get_net_rad_day(part, 0.92f, 0.24f, 0.38f, 25.0f, 18.0f, 330.0f, 0.0f, props, day[0],
                          day[1], day[2], day[3], day[4], st);
    EXPECT_EQ(st, 0);
    ornax_get_net_rad_night(part, 0.92f, 0.24f, 0.38f, 25.0f, 18.0f, 330.0f, 0.0f, props, night[0],
                            night[1], night[2], night[3], night[4], st);
    for (int n = 0; n < 5; ++n) EXPECT_FLOAT_EQ(day[n], night[n]) << n;
    // by day the budget closes: down = up + net
    ornax_get_net_rad_day(part, 0.92f, 0.24f, 0.38f, 25.0f, 18.0f, 330.0f, 700.0f, props, day[0],
                          day[1], day[2], day[3], day[4], st);
    EXPECT_NEAR(700.0f + 330.0f - day[3] - day[4] - day[0], 0.0f, 1e-3f);
    EXPECT_GT(day[3], 0.0f);
    EXPECT_LT(day[3], 0.5f * 700.0f);
}

}  // namespace
