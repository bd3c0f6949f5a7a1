// Run preparation helpers and the daily integration: time zone, input checks, wind, soil
// heat, departure curves, hourly-to-daily totals and the daily evapotranspiration.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"
#include "support/core_points.hpp"

namespace {

TEST(CoreRunPreparation, TimeZoneWindAndRangeChecks) {
    Ornaxdailyvartype state;
    int zone = 0, st = -1;
    const std::pair<float, int> zones[] = {{-7.5f, 0}, {-7.6f, -1}, {7.5f, 1}, {-123.386f, -8}};
    for (auto [lon, expected] : zones) {
        ornax_get_dgmt(lon, zone, state, st);
        EXPECT_EQ(st, 0);
        EXPECT_EQ(zone, expected) << lon;
        EXPECT_EQ(state.stdlon, 15.0f * expected);
    }
    for (float lon : {180.0f, -180.0f}) {
        ornax_get_dgmt(lon, zone, state, st);
        EXPECT_EQ(st, 3);
        EXPECT_EQ(zone, -999);
    }
    float u1 = 0, u2 = 0;
    ornax_scale_wind_height_over_grass(50.0f, 50.0f, 0.0f, 50.0f, u1, u2, st);
    EXPECT_EQ(u1, 3.0f);
    EXPECT_EQ(u2, 20.0f);
    ornax_scale_wind_height_over_grass(10.0f, 50.0f, 5.0f, 5.0f, u1, u2, st);
    EXPECT_GT(u1, 5.0f);  // wind grows with height
    ornax_check_value("THPBLI01", 0, 200.0f, 220.0f, 450.0f, st);
    EXPECT_EQ(st, 3);
    // an out-of-range sounding is reported but the run goes on
    Ornaxlandtype land;
    Ornaxinputvartype input;
    core_points::make_summer_point(3, land, input);
    input.th_pblk[0] = 200.0f;
    testing::internal::CaptureStderr();
    ornax_check_input(input, 1, st);
    const std::string logged = testing::internal::GetCapturedStderr();
    if (ornax_logunit == 0) {
        EXPECT_NE(logged.find("Input(THPBLI01) ="), std::string::npos);
    }
    EXPECT_EQ(st, 0);
    Ornaxoutputvartype out;
    ornax(land, input, out, 0, 0, st);
    EXPECT_EQ(st, 0);
}

TEST(CoreDailyHelpers, DepartureCurveTotalsAndSoilHeat) {
    float b = 0, a = 0, c = 0;
    int st = -1;
    ornax_gettdepart2(31.0f, 21.0f, 10.5f, 6.0f, 19.0f, b, a, c, st);
    auto curve = [&](float t) { return b * t * t + a * t + c; };
    EXPECT_NEAR(curve(6.0f), 0.0f, 1e-3f);
    EXPECT_NEAR(curve(19.0f), 0.0f, 1e-3f);
    EXPECT_NEAR(curve(10.5f), 10.0f, 1e-3f);
    std::array<float, ornax_hours_per_day> hourly;
    hourly.fill(100.0f);
    float total = 0;
    ornax_convert_hourly_to_daily(hourly, total, st);
    EXPECT_NEAR(total, 8.64f, 1e-4f);
    hourly[13] = -9999.0f;
    ornax_convert_hourly_to_daily(hourly, total, st);
    EXPECT_EQ(total, -9999.0f);
    // soil heat peaks three hours before solar noon and vanishes with soil net radiation
    float g_peak = 0, g_zero = 0;
    ornax_get_soil_heat(200.0f, 9.5f, 6.5f, 18.5f, g_peak, st);
    EXPECT_NEAR(g_peak, 0.35f * 200.0f, 1e-3f);
    ornax_get_soil_heat(0.0f, 10.0f, 6.5f, 18.5f, g_zero, st);
    EXPECT_EQ(g_zero, 0.0f);
}

// Savanna site, solved, ready for the daily integration.
struct SolvedSite {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    Ornaxdailyvartype state;
    SolvedSite() {
        const std::string dir = std::string(ORNAX_REFERENCE_DIR) + "/site/";
        core_points::load_site_case(dir + "savanna.dat", dir + "landcover.txt", land, input);
        int st = -1;
        ornax_run_init(land, input, state, 0, st);
        ornax_converged_loop(land, input, state, 0, st);
        EXPECT_EQ(st, 0);
    }
};

TEST(CoreDailyIntegration, NightSlotsGdayAndColdMorningFloor) {
    SolvedSite site;
    Ornaxoutputvartype out;
    int st = -1;
    ornax_integrate_daily_flux(site.land, site.input, site.state, out, st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(out.GDAY, 0.0f);  // the hourly soil heat is not kept
    EXPECT_GT(std::accumulate(site.state.g_hour.begin(), site.state.g_hour.end(), 0.0f), 10.0f);
    EXPECT_EQ(out.XLES1, 0.0f);
    EXPECT_EQ(out.H1, 0.0f);
    // a slot exactly at sunrise is a night slot: no soil net radiation, no reference ET
    Ornaxinputvartype input = site.input;
    input.tloc_day[6] = site.state.sunrise;
    input.sdn_day[6] = 50.0f;
    ornax_integrate_daily_flux(site.land, input, site.state, out, st);
    EXPECT_EQ(site.state.rnsoil_hour[6], 0.0f);
    EXPECT_EQ(site.state.eref_hour[6], 0.0f);
    EXPECT_EQ(site.state.swup_hour[6], 50.0f);
    input.tloc_day[6] = site.state.sunrise + 0.01f;
    ornax_integrate_daily_flux(site.land, input, site.state, out, st);
    EXPECT_NE(site.state.rnsoil_hour[6], 0.0f);
    // surfaces colder than the air at the second time are held at the air temperature
    Ornaxdailyvartype cold = site.state, even = site.state;
    cold.obs[1].tc = cold.obs[1].ts = site.input.taobs2 - 5.0f;
    even.obs[1].tc = even.obs[1].ts = site.input.taobs2;
    Ornaxoutputvartype out_cold, out_even;
    ornax_integrate_daily_flux(site.land, site.input, cold, out_cold, st);
    ornax_integrate_daily_flux(site.land, site.input, even, out_even, st);
    EXPECT_EQ(out_cold.LWUPDAY, out_even.LWUPDAY);
    EXPECT_EQ(out_cold.SNETDAY, out_even.SNETDAY);
}

TEST(CoreDailyIntegration, DailyEvapotranspirationScalingAndMissingInsolation) {
    SolvedSite site;
    Ornaxoutputvartype out;
    int st = -1;
    ornax_integrate_daily_flux(site.land, site.input, site.state, out, st);
    EXPECT_NEAR(out.EDAY, out.XLE2 * out.SDDAY / site.input.sdn2, 1e-4f);
    EXPECT_NEAR(out.ESDAY + out.ECDAY, out.EDAY, 1e-5f);
    EXPECT_NEAR(out.HDAY, out.SNETDAY - out.EDAY, 1e-5f);
    // no latent heat at the second time: no daily ET in any part
    out.XLE2 = out.XLES2 = 0.0f;
    ornax_daily_flux_clear_sdn(site.input, site.state, out, st);
    EXPECT_EQ(out.EDAY, 0.0f);
    EXPECT_EQ(out.ESDAY, 0.0f);
    EXPECT_EQ(out.ECDAY, 0.0f);
    // no insolation at the second time or over the day: missing, not a division by zero
    Ornaxinputvartype input = site.input;
    input.sdn2 = 0.0f;
    ornax_daily_flux_clear_sdn(input, site.state, out, st);
    EXPECT_EQ(st, 0);
    for (float v : {out.EDAY, out.ESDAY, out.ECDAY, out.HDAY}) EXPECT_EQ(v, -9999.0f);
    EXPECT_EQ(out.GDAY, 0.0f);
    input = site.input;
    input.sdn_day.fill(0.0f);
    ornax_integrate_daily_flux(site.land, input, site.state, out, st);
    EXPECT_EQ(out.SDDAY, 0.0f);
    EXPECT_EQ(out.EDAY, -9999.0f);
    EXPECT_EQ(out.EREFDAY, 0.0f);
    input.lwdn_day[3] = -9999.0f;
    ornax_integrate_daily_flux(site.land, input, site.state, out, st);
    EXPECT_EQ(out.LWDNDAY, -9999.0f);
}

}  // namespace
