// Atmosphere: canopy architecture, stability corrections, resistances and the two-source
// air-temperature solution.
#include "ORNAX_atmos_mod.hpp"

#include <algorithm>
#include <cmath>

#include "ornax_constants_mod.hpp"

void ornax_canopy_arch(float xlai, float clump, float theta, float zu, float xl,
                       const Ornaxlandtype& land, Ornaxcanopygeomtype& geom, int& status) {
    const float om = clump;
    const float lai = xlai;
    // cover fraction seen by the satellite at its view zenith
    geom.ftheta = 1.0f - std::exp(-0.5f * om * lai / std::cos(theta * ornax_pi / 180.0f));
    geom.ftheta = std::min(geom.ftheta, 0.8f);
    // A perennial class takes the same branches as any other: keeping the previous
    // geometry would leave a fresh state with zero roughness and undefined resistances.
    if (land.water_flag == 1) {
        geom.z0m = 3.5e-4f;  // open water roughness (m)
        geom.d = 0.0f;
        geom.lnzu = std::log(zu / geom.z0m);
        geom.lnhc = 0.0f;
    } else if (geom.hc < 0.01f || geom.fc <= 0.01f) {
        // bare or sparse ground; a class of zero canopy height gets the vegetated floor
        if (geom.z0m == 0.0f) geom.z0m = 0.005f;
        geom.lnzu = std::log(zu / geom.z0m);
        geom.lnhc = 0.0f;
        geom.wind_exp = 0.0f;
    } else {
        geom.z0m = std::max(geom.z0m, 0.005f);
        geom.hc = std::max(geom.hc, geom.d + geom.z0m + 0.001f);
        geom.lnzu = std::log((zu - geom.d) / geom.z0m);
        geom.lnhc = std::log((geom.hc - geom.d) / geom.z0m);
        const float lm = std::sqrt(4.0f * xl / (ornax_pi * lai / geom.hc));  // mixing length (m)
        const float atten = std::sqrt(0.2f * om * lai * geom.hc / lm);       // wind attenuation
        const float ratio =
            geom.hc > 0.5f ? std::exp(-(1.0f - 0.05f / geom.hc) * atten) : std::exp(-0.9f * atten);
        geom.soil_wind_ratio = std::min(ratio, 0.95f);
        geom.wind_exp = -(1.0f - (geom.d + geom.z0m) / geom.hc) * atten;
    }
    status = 0;
}

void ornax_psimhn_ky(float zeta, float& psim, float& psih, int& status) {
    float x = -zeta;
    status = 0;
    if (x < 0.0059f) {  // stable or near neutral
        psim = 0.0f;
        psih = 0.0f;
        return;
    }
    psih = 1.2f * std::log((std::pow(x, 0.78f) + 0.33f) / 0.33f);
    x = std::min(x, 15.025f);
    psim = 1.47f * std::log((std::pow(x, 0.75f) + 0.28f) / (std::pow(0.0059f, 0.75f) + 0.28f)) -
           1.29f * (std::pow(x, 0.33f) - std::pow(0.0059f, 0.33f));
}

namespace {

float limit_zeta(float zeta, Ornaxzetalimits limits) {
    zeta = std::min(zeta, limits.upper);
    return std::max(zeta, limits.lower);
}

// Two passes of the stability parameter from the stored psim; returns the final zeta.
float update_stability(const Ornaxresistanceinputs& in, Ornaxcanopygeomtype& geom) {
    const float k = ornax_von_karman;
    const float zd = in.zu - geom.d;
    float zeta = 0.0f;
    float ustar = 0.0f;
    const bool first_defined = std::fabs(geom.lnzu - geom.psim) > 0.0f;
    if (first_defined) {
        ustar = k * in.u / (geom.lnzu - geom.psim);  // friction velocity (m s-1)
        zeta = -(zd * ornax_gravity * in.h * k) /
               (in.rhocp * (in.ta + 273.0f) * ustar * ustar * ustar);
    }
    int st = 0;
    zeta = limit_zeta(zeta, in.zeta_limits);
    ornax_psimhn_ky(zeta, geom.psim, geom.psih, st);
    if (first_defined && std::fabs(geom.lnzu - geom.psim) > 0.0f) {
        const float ustar2 = k * in.u / (geom.lnzu - geom.psim);
        zeta = zeta * (ustar * ustar * ustar) / (ustar2 * ustar2 * ustar2);
        zeta = limit_zeta(zeta, in.zeta_limits);
        ornax_psimhn_ky(zeta, geom.psim, geom.psih, st);
    }
    return zeta;
}

// Aerodynamic resistance of bare soil with a scalar roughness from the roughness
// Reynolds number (s m-1).
float bare_soil_ra(const Ornaxresistanceinputs& in, const Ornaxcanopygeomtype& geom) {
    const float t = 273.16f + (in.ts + in.ta) / 2.0f;
    const float nu = std::pow(t / 296.16f, 1.5f) * (689.32f / (393.16f + t)) * 1.8325e-5f /
                     (in.rhocp / 1010.0f);  // kinematic viscosity (m2 s-1)
    const float ustar = ornax_von_karman * in.u / (geom.lnzu - geom.psim);
    const float re = geom.z0m * ustar / nu;
    const float z0h = geom.z0m * std::exp(-0.4f * (4.0f * std::pow(re, 0.15f) - 5.0f));
    return (std::log((in.zu - geom.d) / z0h) - geom.psih) / (ornax_von_karman * ustar);
}

}  // namespace

void ornax_get_resistance(const Ornaxresistanceinputs& in, Ornaxcanopygeomtype& geom, float& ra,
                          float& rs, float& rx, int& status) {
    status = 0;
    const float zeta = update_stability(in, geom);
    if (geom.hc < 1.0e-6f || in.fc <= 0.01f) {
        ra = bare_soil_ra(in, geom);
        rs = 0.0f;
        rx = 10000.0f;
        return;
    }
    if (std::fabs(in.u) <= 1.0e-10f || std::fabs(geom.lnzu - geom.psim) <= 1.0e-10f) {
        status = 3;
        return;
    }
    const float ra_new = (geom.lnzu - geom.psih) * (geom.lnzu - geom.psim) / (0.16f * in.u);
    const float dt = in.ts - in.ta;  // soil minus air temperature (K)
    const float zeta_c =
        std::max(std::min(zeta * (geom.hc - geom.d) / (in.zu - geom.d), 0.4f), -0.5f);
    float psim_c = 0.0f;
    float psih_c = 0.0f;
    int st = 0;
    ornax_psimhn_ky(zeta_c, psim_c, psih_c, st);
    const float uc = (geom.lnhc - psim_c) / (geom.lnzu - geom.psim) * in.u;  // canopy top wind
    const float us = geom.soil_wind_ratio * uc;  // near-soil wind (m s-1)
    float rs_new = dt > 1.0f ? 1.0f / (0.0038f * std::pow(dt, 0.33f) + 0.012f * us)
                             : 1.0f / (0.0038f + 0.012f * us);
    if (in.region_switch == 1 && in.rs_correct > 0.0f && in.rs_correct < 1.0f) {
        rs_new *= in.rs_correct;
    }
    const float ud = uc * std::exp(geom.wind_exp);  // wind at the leaf height (m s-1)
    ra = ra_new;
    rs = rs_new;
    rx = (in.xlai > 1.0e-10f && std::fabs(ud) > 1.0e-10f) ? 180.0f * std::sqrt(in.xl / ud) / in.xlai
                                                          : 10000.0f;
}

namespace {

// Calls the resistances for time k with the current temperatures of that time.
void time_resistances(Ornaxobstimetype& ob, const Ornaxinputvartype& input, float fc,
                      Ornaxdailyvartype& state, Ornaxzetalimits limits, int region_switch) {
    Ornaxresistanceinputs in;
    in.h = ob.h;
    in.u = ob.u;
    in.ta = ob.ta;
    in.ts = ob.ts;
    in.rhocp = ob.rhocp;
    in.xl = input.xl;
    in.xlai = input.xlai;
    in.zu = input.zu;
    in.fc = fc;
    in.zeta_limits = limits;
    in.region_switch = region_switch;
    in.rs_correct = input.rs_correct;
    int st = 0;
    ornax_get_resistance(in, state.canopy, ob.ra, ob.rs, ob.rx, st);
}

// Air temperature at the blending height that the radiometric temperature, the resistances
// and the sensible heat of canopy and soil imply (deg C).
float air_temperature(const Ornaxobstimetype& ob, float trad, float f) {
    return trad - ob.ra * ob.h / ob.rhocp - ob.hc * f * (0.5f * ob.rx) / ob.rhocp -
           ob.rs * (1.0f - f) * (ob.h - ob.hc) / ob.rhocp;
}

// Canopy-air, canopy and soil temperatures that follow from Ta (deg C).
void layer_temperatures(Ornaxobstimetype& ob, float trad, float f) {
    ob.tac = ob.ta + ob.ra * ob.h / ob.rhocp;
    ob.tc = ob.tac + ob.hc * (0.5f * ob.rx) / ob.rhocp;
    ob.ts = (trad - ob.tc * f) / (1.0f - f);
}

// Soil sensible heat through the soil-surface resistance (W m-2).
float soil_sensible_heat(const Ornaxobstimetype& ob) {
    return ob.rs > 0.0f ? (ob.ts - ob.tac) * ob.rhocp / ob.rs : ob.h - ob.hc;
}

}  // namespace

void ornax_find_ta(int k, float trad, float fc, float fg, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, Ornaxzetalimits limits, int region_switch,
                   int& status) {
    constexpr int sweeps = 20;  // fixed number of passes of the temperature solution
    Ornaxobstimetype& ob = state.obs[k - 1];
    const float f = state.canopy.ftheta;
    ob.ts = (trad - ob.tc * f) / (1.0f - f);
    float le = ob.rnet - ob.h - ob.g;
    if (le < 0.0f) {
        // no energy left for evaporation: soil heat takes the rest
        le = 0.0f;
        ob.g = ob.rnet - ob.h;
        state.xles = 0.0f;
        state.xlec = 0.0f;
        ob.hs = ob.rnsoil - ob.g;
        ob.hc = ob.h - ob.hs;
        for (int pass = 0; pass < sweeps; ++pass) {
            time_resistances(ob, input, fc, state, limits, region_switch);
            layer_temperatures(ob, trad, f);
        }
    } else {
        time_resistances(ob, input, fc, state, limits, region_switch);
        ob.tac = ob.ta + ob.ra * ob.h / ob.rhocp;
        for (int pass = 0; pass < sweeps; ++pass) {
            const float es = 6.108f * std::pow(10.0f, 7.5f * ob.tac / (237.3f + ob.tac));  // mb
            const float lambda = 1.0e6f * (2.501f - 0.00237f * ob.tac);                    // J kg-1
            const float tk = ob.tac + ornax_tkelvin;
            const float slope = 0.00217f * lambda * es / (tk * tk);
            // canopy transpiration, Priestley-Taylor with alpha = 1.3 (W m-2)
            state.xlec = slope / (slope + 0.66f) * 1.3f * ob.rncan * fg;
            ob.hc = ob.rncan - state.xlec;
            ob.ta = air_temperature(ob, trad, f);
            time_resistances(ob, input, fc, state, limits, region_switch);
            layer_temperatures(ob, trad, f);
        }
    }
    ob.hs = soil_sensible_heat(ob);
    state.xles = ob.rnsoil - ob.hs - ob.g;
    if (k != 1 && state.xles < -0.001f) {
        // no condensation on the soil at the second time: the canopy takes the rest
        state.xles = 0.0f;
        ob.hs = ob.rnsoil - ob.g;
        ob.hc = ob.h - ob.hs;
        state.xlec = ob.rncan - ob.hc;
        if (state.xlec < -0.001f) {
            state.xlec = 0.0f;
            ob.hc = ob.rncan;
        }
        ob.ta = air_temperature(ob, trad, f);
        layer_temperatures(ob, trad, f);
        ob.hs = soil_sensible_heat(ob);
    }
    state.xle = le;
    status = 0;
}
