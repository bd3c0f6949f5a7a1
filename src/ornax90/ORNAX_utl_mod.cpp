// Run initialisation, input checks, time zone, wind, air heat capacity, soil heat and the
// daily integration of the fluxes with the hourly grass reference evapotranspiration.
#include "ORNAX_utl_mod.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "ORNAX_atmos_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_pbl_mod.hpp"
#include "ORNAX_rad_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"

void ornax_check_value(std::string_view name, int debug_flag, float value, float low, float high,
                       int& status) {
    if (value > high || value < low) {
        status = 3;
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

void ornax_get_dgmt(float lon, int& zone_hours, Ornaxdailyvartype& state, int& status) {
    const float b = lon > 180.0f ? lon - 180.0f : lon;
    if (b > -180.0f && b < 180.0f) {
        const float a = (7.5f + lon) / 15.0f;
        zone_hours =
            b < 0.0f ? static_cast<int>(a + 24.0f + 0.001f) - 24 : static_cast<int>(a + 0.001f);
        state.stdlon = 15.0f * static_cast<float>(zone_hours);
        status = 0;
        return;
    }
    zone_hours = -999;
    state.stdlon = -999.0f;
    status = 3;
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
    const float s = 3600.0f * (t - (sunrise + sunset) / 2.0f);  // seconds from solar noon
    g = 0.35f * rnsoil * std::cos(6.2831855f * (10800.0f + s) / 100000.0f);
    if (debug_iflag == 1) {
        ornax_log_msg("---------get_soil_heat--------");
        ornax_log_msg(
            (FreeLine() << "In rnsoil, t_loc, start_end" << rnsoil << t << sunrise << sunset)
                .str());
        ornax_log_msg((FreeLine() << "Out g:" << g).str());
        ornax_log_msg((FreeLine() << "time" << s).str());
    }
    status = 0;
}

void ornax_update_fc(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                     Ornaxdailyvartype& state, int& status) {
    int st = 0;
    ornax_canopy_arch(input.xlai, input.clump, input.theta, input.zu, input.xl, land, state.canopy,
                      st);
    if (st != 0) {
        ornax_log_msg("Error in ORNAX_canopy_arch");
        status = 3;
        return;
    }
    ornax_get_rad_props(land, input.fg, state.obs[0].zen, input.clump, input.xlai, input.rsoilv,
                        input.rsoiln, state.obs[0].rad, st);
    if (st != 0) {
        if (debug_iflag > 0) std::printf("Error in ORNAX_get_rad_props\n");
        status = 3;
        return;
    }
    if (debug_iflag > 0) {
        ornax_log_msg(
            (FreeLine() << "After get rad props, albedo1" << state.obs[0].rad.albedo).str());
    }
    ornax_get_rad_props(land, input.fg, state.obs[1].zen, input.clump, input.xlai, input.rsoilv,
                        input.rsoiln, state.obs[1].rad, st);
    status = 0;
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
        return 3;
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
        status = 3;
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
        status = 3;
        return;
    }
    ornax_scale_wind_height_over_grass(input.zu, input.zblend, input.wind1, input.wind2,
                                       state.obs[0].u, state.obs[1].u, st);
    ornax_compute_air_vhc(input.pres1, input.taobs1, input.spfh1, state.obs[0].rhocp, st);
    ornax_compute_air_vhc(input.pres2, input.taobs2, input.spfh2, state.obs[1].rhocp, st);
    state.z1 = ornax_pbl_initial_height;
    state.xle = 0.0f;
    ornax_get_pbl_table(state.z1, input.z_pbli, input.th_pblk, input.npbl, state.theta0,
                        state.pbl_integral, state.pbl_height, st);
    if (st != 0) status = 3;
}

// ===================================================================================
// Daily integration
// ===================================================================================

void ornax_gettdepart2(float temp, float taobs2, float tloc2, float sunrise, float sunset, float& b,
                       float& a, float& c, int& status) {
    const float q = sunrise;
    const float r = sunset;
    const float t2 = tloc2;
    const float dep = temp - taobs2;  // departure at the second observation (K)
    a = dep / (t2 + (q - r) * (t2 * t2 - q * q) / (r * r - q * q) - q);
    b = (q - r) * a / (r * r - q * q);
    c = -q * a - q * (b * q);
    status = 0;
}

void ornax_fao_pm(float /*t*/, float sdn, float zen, float ta, float pres, float ea, float u,
                  float& eref, int& status) {
    const float es = 0.6108f * std::exp(17.2694f * ta / (ta + 237.3f));  // kPa
    Ornaxradiationpartitiondatatype part;
    float sdn_used = 0.0f;
    float rn = 0.0f;
    int st = 0;
    ornax_get_rad_comps(sdn, zen, part, sdn_used, st);
    if (st == 0) ornax_get_net_rad_simple(sdn_used, ta, part, 0.23f, rn, st);
    if (st != 0) {
        eref = ornax_missing_value;
        status = 3;
        return;
    }
    const float slope = 4098.029f * es / ((ta + 237.3f) * (ta + 237.3f));  // kPa K-1
    float a = 0.0f;
    if (rn > 1.0e-6f) {
        const float rh = 3600.0f * rn / 1000000.0f;  // MJ m-2 h-1
        a = (rh - 0.1f * rh) * 0.408f * slope;       // soil heat taken as 0.1 Rn
    }
    const float lambda = 2.501f - 0.00237f * ta;                              // MJ kg-1
    const float gamma = pres * 0.1f * 1010.0f * 1.0e-6f / (0.622f * lambda);  // kPa K-1
    // ea in mb, 0.1 ea in kPa; hourly ET in mm h-1
    const float et = (a + u * gamma * 37.0f * (es - 0.1f * ea) / (ta + ornax_tkelvin)) /
                     ((1.0f + 0.24f * u) * gamma + slope);
    eref = et * lambda * 1000000.0f / 3600.0f;
    status = 0;
}

void ornax_convert_hourly_to_daily(const std::array<float, ornax_hours_per_day>& hourly,
                                   float& total, int& status) {
    float sum = 0.0f;
    status = 0;
    for (float value : hourly) {
        if (std::fabs(value + 9999.0f) < 1.0e-6f) {
            total = ornax_missing_value;
            return;
        }
        sum += value;
    }
    total = sum * 3600.0f * 1.0e-6f;
}

namespace {

struct DepartureCurve {
    float b = 0.0f, a = 0.0f, c = 0.0f;
    float at(float t) const { return b * t * t + a * t + c; }
};

void log_departure(const char* label, float temp, float sunset, const DepartureCurve& curve) {
    ornax_log_msg((FreeLine() << label << temp << sunset << curve.b << curve.a << curve.c).str());
}

void log_partition(int i, float sdn, float sdn_used, float zen,
                   const Ornaxradiationpartitiondatatype& part) {
    ornax_log_msg("In SDN" + write_i(i + 1, 3) + write_f(sdn, 10, 2) + write_f(sdn_used, 10, 2) +
                  write_f(zen, 10, 4) + write_f(std::cos(zen), 10, 4));
    ornax_log_msg("Rad comp at:" + write_i(i + 1, 3) + write_f(part.clearness, 10, 2) +
                  write_f(part.visible_share, 10, 2) + write_f(part.nir_share, 10, 2) +
                  write_f(part.diffuse_visible, 10, 2) + write_f(part.diffuse_nir, 10, 2) +
                  write_f(part.direct_visible, 10, 2) + write_f(part.direct_nir, 10, 2));
}

// Hourly budget of slot i (0-based); status 3 when the partition or the properties fail.
int hourly_budget(int i, const Ornaxlandtype& land, const Ornaxinputvartype& input,
                  Ornaxdailyvartype& state, const DepartureCurve& canopy,
                  const DepartureCurve& soil) {
    const float t = input.tloc_day[i];
    const float sdn = input.sdn_day[i];
    const float lwdn = input.lwdn_day[i];
    const float ta = input.taobs_day[i];
    state.rnet_hour[i] = state.rnsoil_hour[i] = state.g_hour[i] = state.sdn_hour[i] = 0.0f;
    state.swup_hour[i] = state.lwup_hour[i] = state.eref_hour[i] = 0.0f;
    float zen = 0.0f, rise = 0.0f, set = 0.0f;
    int st = 0;
    ornax_get_sun_zen(input.lat, input.lon, state.stdlon, input.doy, input.year, t, zen, rise, set,
                      st);
    Ornaxradiationpartitiondatatype part;
    ornax_get_rad_comps(sdn, zen, part, state.sdn_hour[i], st);
    if (st != 0) {
        ornax_log_msg((FreeLine() << "Calculate rad comp error at hour" << (i + 1)).str());
        return 3;
    }
    if (debug_iflag > 0) log_partition(i, sdn, state.sdn_hour[i], zen, part);
    Ornaxcanopyradtype props;
    ornax_get_rad_props(land, input.fg, zen, input.clump, input.xlai, input.rsoilv, input.rsoiln,
                        props, st);
    if (st != 0) {
        ornax_log_msg("Error in");
        return 3;
    }
    float rncan = 0.0f;
    if (state.sunrise < t && t < state.sunset) {
        float tc = ta + 2.0f;
        float ts = ta + 4.0f;
        if (canopy.b != ornax_missing_value) {
            // a morning colder than the air does not cool the surfaces below it
            tc = ta + std::max(0.0f, canopy.at(t));
            ts = ta + std::max(0.0f, soil.at(t));
        }
        ornax_get_net_rad_day(part, input.emis_soil, input.rsoilv, input.rsoiln, ts, tc, lwdn, sdn,
                              props, state.rnet_hour[i], state.rnsoil_hour[i], rncan,
                              state.swup_hour[i], state.lwup_hour[i], st);
        ornax_get_soil_heat(state.rnsoil_hour[i], t, state.sunrise, state.sunset, state.g_hour[i],
                            st);
        if (sdn > 1.0e-6f) {
            ornax_fao_pm(t, sdn, zen, ta, input.pres_day[i], input.spfh_day[i], input.wind_day[i],
                         state.eref_hour[i], st);
        }
    } else {
        float rnsoil_night = 0.0f;
        ornax_get_net_rad_night(part, input.emis_soil, input.rsoilv, input.rsoiln, ta, ta, lwdn,
                                sdn, props, state.rnet_hour[i], rnsoil_night, rncan,
                                state.swup_hour[i], state.lwup_hour[i], st);
    }
    if (debug_iflag > 0) ornax_log_msg((FreeLine() << "xlwdn_sdn" << lwdn << sdn).str());
    return 0;
}

void copy_instantaneous(const Ornaxdailyvartype& state, Ornaxoutputvartype& out) {
    const Ornaxobstimetype& o1 = state.obs[0];
    const Ornaxobstimetype& o2 = state.obs[1];
    out.TS1 = o1.ts;
    out.TS2 = o2.ts;
    out.TC1 = o1.tc;
    out.TC2 = o2.tc;
    out.TA1 = o1.ta;
    out.TA2 = o2.ta;
    out.RNET1 = o1.rnet;
    out.ZEN1 = o1.zen;
    out.RNET2 = o2.rnet;
    out.ZEN2 = o2.zen;
    out.XLEC2 = state.xlec;
    out.XLES2 = state.xles;
    out.XLE2 = state.xle;
    out.HC2 = o2.hc;
    out.HS2 = o2.hs;
    out.H2 = o2.h;
    out.G2 = o2.g;
    out.Z2 = state.z2;
    out.RA2 = o2.ra;
    out.RS2 = o2.rs;
    out.RX2 = o2.rx;
    out.SWUP = o2.swup;
    out.LWUP = o2.lwup;
}

}  // namespace

void ornax_integrate_daily_flux(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                                Ornaxdailyvartype& state, Ornaxoutputvartype& output, int& status) {
    int st = 0;
    reset_out_var(output);
    copy_instantaneous(state, output);
    DepartureCurve canopy, soil;
    ornax_gettdepart2(output.TC2, input.taobs2, input.tloc2, state.sunrise, state.sunset, canopy.b,
                      canopy.a, canopy.c, st);
    ornax_gettdepart2(output.TS2, input.taobs2, input.tloc2, state.sunrise, state.sunset, soil.b,
                      soil.a, soil.c, st);
    if (debug_iflag > 0) {
        log_departure("canopy:", output.TC2, state.sunset, canopy);
        log_departure("soil  :", output.TS2, state.sunset, soil);
    }
    for (int i = 0; i < ornax_hours_per_day; ++i) {
        if (hourly_budget(i, land, input, state, canopy, soil) != 0) {
            status = 3;
            return;
        }
    }
    ornax_convert_hourly_to_daily(state.rnet_hour, output.SNETDAY, st);
    ornax_convert_hourly_to_daily(state.rnsoil_hour, output.RSOILDAY, st);
    ornax_convert_hourly_to_daily(state.g_hour, output.GDAY, st);
    ornax_convert_hourly_to_daily(state.sdn_hour, output.SDDAY, st);
    ornax_convert_hourly_to_daily(state.swup_hour, output.SWUPDAY, st);
    ornax_convert_hourly_to_daily(state.lwup_hour, output.LWUPDAY, st);
    ornax_convert_hourly_to_daily(state.eref_hour, output.EREFDAY, st);
    if (debug_iflag > 0) {
        ornax_log_msg((FreeLine() << "eref:" << output.EREFDAY).str());
        FreeLine hours;
        hours << "eref hour";
        for (float value : state.eref_hour) hours << value;
        ornax_log_msg(hours.str());
    }
    ornax_convert_hourly_to_daily(input.lwdn_day, output.LWDNDAY, st);
    ornax_daily_flux_clear_sdn(input, state, output, st);
    status = st != 0 ? 3 : 0;
}

namespace {

void print_daily_value(const char* label, float value) {
    std::string text(label);
    text.resize(15, ' ');  // labels are texts of 15 characters
    std::printf("%s%s\n", write_a(text, 27).c_str(), write_f(value, 7, 2).c_str());
}

}  // namespace

void ornax_daily_flux_clear_sdn(const Ornaxinputvartype& input, const Ornaxdailyvartype& state,
                                Ornaxoutputvartype& output, int& status) {
    float eday = ornax_missing_value;
    float esday = ornax_missing_value;
    float ecday = ornax_missing_value;
    float hday = ornax_missing_value;
    if (input.sdn2 > 0.0f && output.SDDAY > 0.0f) {
        const float ratio = input.sdn2 / output.SDDAY;  // instantaneous over daily insolation
        eday = output.XLE2 / ratio;
        esday = std::fabs(output.XLE2) > 1.0e-6f ? eday * output.XLES2 / output.XLE2 : 0.0f;
        ecday = eday - esday;
        hday = output.SNETDAY - eday;  // daily soil heat taken as 0
    }
    float eref2 = 0.0f;
    int st = 0;
    ornax_fao_pm(input.tloc2, input.sdn2, output.ZEN2, input.taobs2, input.pres2, input.spfh2,
                 state.obs[1].u, eref2, st);
    if (st != 0) {
        ornax_log_msg("Calculate reference ET error in ORNAX_daily_flux_clear_SDN");
        status = 3;
        return;
    }
    output.EDAY = eday;
    output.ESDAY = esday;
    output.ECDAY = ecday;
    output.HDAY = hday;
    output.GDAY = 0.0f;
    if (debug_iflag >= 1) {
        print_daily_value(" RNDAY", output.SNETDAY);
        print_daily_value(" RN soil DAY", output.RSOILDAY);
        print_daily_value(" swup dAY", output.SWUPDAY);
        print_daily_value(" xlwup dAY", output.LWUPDAY);
        print_daily_value(" xlwdn dAY", output.LWDNDAY);
        print_daily_value(" HDAY", output.HDAY);
        print_daily_value(" GDAY", output.GDAY);
        print_daily_value(" EDAY", output.EDAY);
        print_daily_value(" ESDAY", output.ESDAY);
        print_daily_value(" ECDAY", output.ECDAY);
        print_daily_value(" EREFDAY", output.EREFDAY);
        print_daily_value(" EREFDAY2", eref2);
        print_daily_value(" SDAY", output.SDDAY);
    }
    status = 0;
}
