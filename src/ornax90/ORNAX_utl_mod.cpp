// Run initialisation, input checks, time zone, wind, air heat capacity, soil heat and the
// daily integration of the fluxes with the hourly grass reference evapotranspiration.
#include "ornax90/ORNAX_utl_mod.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "ornax90/lanes/one.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_pbl_mod.hpp"
#include "ornax90/ORNAX_rad_mod.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/ornax_constants_mod.hpp"

using namespace ornax_one_lane;

void ornax_check_value(std::string_view name, int debug_flag, float value, float low, float high,
                       int& status) {
    if (value > high || value < low) {
        status = ornax_status_failure;
        if (debug_flag == 1) {
            ornax_log_msg((FreeLine() << "Input(" << trim_right(name.substr(0, 10)) << ") = "
                                      << value << " is out of range(" << low << "," << high << ").")
                              .str());
        }
        return;
    }
    status = 0;
}

namespace {

// Name of a sounding level for the range checks: the prefix and the level in two digits.
std::string level_name(std::string_view prefix, int level) {
    std::string name(prefix);
    if (level < 10) name += '0';
    name += std::to_string(level);
    return name;
}

}  // namespace

void ornax_check_input(const Ornaxinputvartype& input, int debug_flag, int& status) {
    int failures = 0;
    int st = 0;
    ornax_check_value(level_name("THPBLI", 1), debug_flag, input.th_pblk[0], 220.0f, 450.0f, st);
    failures += st != 0;
    ornax_check_value(level_name("ZPBLI", 1), debug_flag, input.z_pbli[0], 0.0f, 10000.0f, st);
    failures += st != 0;
    ornax_check_value("EA1", debug_flag, input.spfh1, 0.0f, 80.0f, st);
    failures += st != 0;
    ornax_check_value("EA2", debug_flag, input.spfh2, 0.0f, 80.0f, st);
    failures += st != 0;
    (void)failures;  // the checks only inform; the run goes on
    status = 0;
}

void ornax_time_zone_hours(float lon, int& zone_hours, int& status) {
    const float b = lon > 180.0f ? lon - 180.0f : lon;
    if (b > -180.0f && b < 180.0f) {
        const float a = (7.5f + lon) / 15.0f;
        zone_hours =
            b < 0.0f ? static_cast<int>(a + 24.0f + 0.001f) - 24 : static_cast<int>(a + 0.001f);
        status = 0;
        return;
    }
    zone_hours = -999;
    status = ornax_status_failure;
}

void ornax_get_dgmt(float lon, int& zone_hours, Ornaxdailyvartype& state, int& status) {
    ornax_time_zone_hours(lon, zone_hours, status);
    state.stdlon = status == 0 ? 15.0f * static_cast<float>(zone_hours) : -999.0f;
}

void ornax_scale_wind_height_over_grass(float zu, float zblend, float wind1, float wind2, float& u1,
                                        float& u2, int& status) {
    // logarithmic profile over grass of roughness 0.005 m
    const float f = (std::log(zblend) - std::log(0.005f)) / (std::log(zu) - std::log(0.005f));
    u1 = std::min(std::max(wind1 * f, 3.0f), 20.0f);
    u2 = std::min(std::max(wind2 * f, 3.0f), 20.0f);
    status = 0;
}

void ornax_compute_air_vhc(float pres, float ta, float ea, float& rhocp, int& status) {
    // cp 1010 J kg-1 K-1, gas constant of dry air 287.04 J kg-1 K-1, mb to Pa by 100
    rhocp =
        1010.0f * pres / (287.04f * (ornax_tkelvin + ta)) * (1.0f - 0.378f * ea / pres) * 100.0f;
    status = 0;
}

void ornax_get_soil_heat(float rnsoil, float t, float sunrise, float sunset, float& g,
                         int& status) {
    g = lanes_soil_heat(rnsoil, t, sunrise, sunset);
    status = 0;
}

void ornax_update_fc(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                     Ornaxdailyvartype& state, int& status) {
    status = lanes_update_fc(ornax_point_lanes(land, input), state) ? 3 : 0;
}

namespace {

// Time zone, sun and heating clock of both observation times.
int init_sun_and_clock(const Ornaxinputvartype& input, Ornaxdailyvartype& state, int debug_flag) {
    int zone = 0;
    int st = 0;
    ornax_get_dgmt(input.lon, zone, state, st);
    if (debug_flag == 1) {
        ornax_log_msg((FreeLine() << "In run_init, DGMT" << zone).str());
        ornax_log_msg(write_a("Canopy height, fc", 20) + write_f(input.hc, 10, 4) +
                      write_f(input.fc, 10, 4));
    }
    if (st != 0) {
        if (debug_flag == 1) ornax_log_msg("Error in the input data.");
        return ornax_status_failure;
    }
    ornax_get_sun_zen(input.lat, input.lon, state.stdlon, input.doy, input.year, input.tloc1,
                      state.obs[0].zen, state.sunrise, state.sunset, st);
    ornax_get_sun_zen(input.lat, input.lon, state.stdlon, input.doy, input.year, input.tloc2,
                      state.obs[1].zen, state.sunrise, state.sunset, st);
    // the morning sensible heat flux starts 1.75 h after sunrise
    const float start = state.sunrise + ornax_heating_delay;
    state.obs[0].tsec = 3600.0f * (input.tloc1 - start);
    state.obs[1].tsec = 3600.0f * (input.tloc2 - start);
    return 0;
}

}  // namespace

void ornax_run_init(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                    Ornaxdailyvartype& state, int debug_flag, int& status) {
    int st = 0;
    status = 0;
    ornax_check_input(input, debug_flag, st);
    if (init_sun_and_clock(input, state, debug_flag) != 0) {
        status = ornax_status_failure;
        return;
    }
    state.canopy.fc = input.fc;
    state.canopy.hc = input.hc;
    state.canopy.d = 2.0f * input.hc / 3.0f;
    state.canopy.z0m = 0.125f * input.hc;
    state.hn_trial = ornax_hn_trial;
    state.obs[0].ts = state.obs[0].tc = state.obs[0].ta = input.taobs1;
    state.obs[1].ts = state.obs[1].tc = state.obs[1].ta = input.taobs2;
    ornax_update_fc(land, input, state, st);
    if (st != 0) {
        status = ornax_status_failure;
        return;
    }
    ornax_scale_wind_height_over_grass(input.zu, input.zblend, input.wind1, input.wind2,
                                       state.obs[0].u, state.obs[1].u, st);
    ornax_compute_air_vhc(input.pres1, input.taobs1, input.spfh1, state.obs[0].rhocp, st);
    ornax_compute_air_vhc(input.pres2, input.taobs2, input.spfh2, state.obs[1].rhocp, st);
    state.z1 = ornax_pbl_initial_height;
    state.xle = 0.0f;
    // the table's entries are written as the layer growth asks for them
    ornax_start_pbl_table(state.z1, input.z_pbli, input.th_pblk, input.npbl, state.pbl_build,
                          state.theta0, st);
    if (st != 0) status = ornax_status_failure;
}

// ===================================================================================
// Daily integration
// ===================================================================================

void ornax_gettdepart2(float temp, float taobs2, float tloc2, float sunrise, float sunset, float& b,
                       float& a, float& c, int& status) {
    lanes_gettdepart2(temp, taobs2, tloc2, sunrise, sunset, b, a, c);
    status = 0;
}

void ornax_fao_pm(float /*t*/, float sdn, float zen, float ta, float pres, float ea, float u,
                  float& eref, int& status) {
    eref = lanes_fao_pm(sdn, zen, ta, pres, ea, u);
    status = 0;
}

void ornax_convert_hourly_to_daily(const std::array<float, ornax_hours_per_day>& hourly,
                                   float& total, int& status) {
    total = lanes_hourly_to_daily(hourly);
    status = 0;
}

void ornax_integrate_daily_flux(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                                Ornaxdailyvartype& state, Ornaxoutputvartype& output, int& status) {
    status = lanes_integrate_daily_flux(ornax_point_lanes(land, input), state, output) ? 3 : 0;
}

void ornax_daily_flux_clear_sdn(const Ornaxinputvartype& input, const Ornaxdailyvartype& state,
                                Ornaxoutputvartype& output, int& status) {
    lanes_daily_flux_clear_sdn(ornax_point_lanes(Ornaxlandtype{}, input), state, output, true);
    status = 0;
}
