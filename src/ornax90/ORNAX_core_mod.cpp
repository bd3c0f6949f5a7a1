// Core entry and heat-flux solution: the trial morning heat flux HN is relaxed until the
// heat taken up by the growing boundary layer matches the flux it implies.
#include "ORNAX_core_mod.hpp"

#include <cmath>

#include "ORNAX_atmos_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "ORNAX_pbl_mod.hpp"
#include "ORNAX_rad_mod.hpp"
#include "ORNAX_utl_mod.hpp"
#include "fixed_text_mod.hpp"
#include "ornax_constants_mod.hpp"

namespace {

constexpr int hn_max_iterations = 300;  // the evaluation with i = 301 is the last
constexpr float hn_tolerance = 0.1f;    // convergence of HN (W m-2)
constexpr Ornaxzetalimits zeta_limits_time1{0.4f, -0.5f};
constexpr Ornaxzetalimits zeta_limits_time2{0.0f, -10.0f};

void log_pair(const char* label, float v1, float v2) {
    ornax_log_msg(std::string(label) + write_f(v1, 10, 3) + write_f(v2, 10, 3));
}

// Net radiation of both times with a fixed partition: 80 % direct visible, all-direct
// near-infrared. Returns the first non-zero radiation status.
int observation_net_radiation(const Ornaxinputvartype& input, Ornaxdailyvartype& state) {
    const Ornaxradiationpartitiondatatype part{1.0f, 0.5f, 0.5f, 0.2f, 0.0f, 0.8f, 1.0f};
    const float sdn[2] = {input.sdn1, input.sdn2};
    const float lwdn[2] = {input.lwdn1, input.lwdn2};
    int result = 0;
    for (int k = 0; k < 2; ++k) {
        Ornaxobstimetype& ob = state.obs[k];
        int st = 0;
        ornax_get_net_rad_day(part, input.emis_soil, input.rsoilv, input.rsoiln, ob.ts, ob.tc,
                              lwdn[k], sdn[k], ob.rad, ob.rnet, ob.rnsoil, ob.rncan, ob.swup,
                              ob.lwup, st);
        if (result == 0) result = st;
    }
    return result;
}

}  // namespace

void ornax_find_hn(const Ornaxlandtype& /*land*/, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, float hn, float& new_hn, int region_switch,
                   int& status) {
    Ornaxobstimetype& o1 = state.obs[0];
    Ornaxobstimetype& o2 = state.obs[1];
    // sensible heat rising linearly from the heating start (W m-2)
    o1.h = o1.tsec * hn / ornax_hn_ramp_seconds;
    o2.h = o2.tsec * hn / ornax_hn_ramp_seconds;
    const int rad_status = observation_net_radiation(input, state);
    if (o2.rnet < 0.0f || rad_status != 0) {
        if (debug_iflag == 1) {
            ornax_log_msg(
                (FreeLine() << "Net rad day error at time 2 in find_hn" << o2.rnet).str());
        }
        status = 3;
        return;
    }
    if (debug_iflag == 1) {
        log_pair("In findhn: SDN", input.sdn1, input.sdn2);
        log_pair("In findhn: temp_soil", o1.ts, o2.ts);
        log_pair("In findhn: temp_canopy", o1.tc, o2.tc);
        log_pair("In findhn: h_canopy", o1.hc, o2.hc);
        log_pair("In findhn: Rnet", o1.rnet, o2.rnet);
    }
    int st = 0;
    ornax_get_soil_heat(o1.rnsoil, input.tloc1, state.sunrise, state.sunset, o1.g, st);
    ornax_get_soil_heat(o2.rnsoil, input.tloc2, state.sunrise, state.sunset, o2.g, st);
    ornax_find_ta(1, input.trad1, input.fc, input.fg, input, state, zeta_limits_time1,
                  region_switch, st);
    ornax_find_ta(2, input.trad2, input.fc, input.fg, input, state, zeta_limits_time2,
                  region_switch, st);
    o2.ta = std::fmax(o2.ta, o1.ta + 0.5f);
    ornax_grow_pbl(o1.ta, o2.ta, o1.tsec, o2.tsec, o1.rhocp, o2.rhocp, state.theta0,
                   state.pbl_integral, state.pbl_height, state.z1, state.z2, new_hn, st);
    // the flux at the second time cannot exceed the available energy
    if (o2.tsec * new_hn / ornax_hn_ramp_seconds > o2.rnet - o2.g) {
        new_hn = ornax_hn_ramp_seconds * (o2.rnet - o2.g) / o2.tsec;
    }
    status = 0;
}

void ornax_converged_loop(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                          Ornaxdailyvartype& state, int region_switch, int& status,
                          Ornaxcorediagnostics* diagnostics) {
    float hn = state.hn_trial;
    float new_hn = hn;  // stands when the first table lookup is out of range
    int evaluations = 0;
    status = 3;
    for (int i = 1;; ++i) {
        int st = 0;
        ornax_update_fc(land, input, state, st);
        if (st != 0) break;
        ornax_find_hn(land, input, state, hn, new_hn, region_switch, st);
        ++evaluations;
        if (st != 0) {
            if (debug_iflag > 0) ornax_log_msg("Find hn error, converg loop stopped.");
            break;
        }
        const float change = new_hn - hn;
        if (std::fabs(change) <= hn_tolerance) {
            status = 0;
            break;
        }
        if (i > hn_max_iterations) break;  // no convergence
        // relaxation factor 0.25, halved after 20 iterations, a third after 40, ...
        hn = hn + 0.25f * change / static_cast<float>(static_cast<int>(0.05f * i) + 1);
    }
    if (diagnostics != nullptr) {
        diagnostics->hn_evaluations = evaluations;
        diagnostics->final_hn = hn;
    }
}

namespace {

bool output_is_finite(const Ornaxoutputvartype& output) {
    const float* values = reinterpret_cast<const float*>(&output);
    for (std::size_t n = 0; n < sizeof(Ornaxoutputvartype) / sizeof(float); ++n) {
        if (!std::isfinite(values[n])) return false;
    }
    return true;
}

}  // namespace

void ornax(const Ornaxlandtype& land, const Ornaxinputvartype& input, Ornaxoutputvartype& output,
           int debug_flag, int region_switch, int& status, Ornaxcorediagnostics* diagnostics) {
    Ornaxdailyvartype state{};  // fresh, all-zero working state for every run
    if (diagnostics != nullptr) *diagnostics = Ornaxcorediagnostics{};
    int st = 0;
    ornax_run_init(land, input, state, debug_flag, st);
    if (st != 0) {
        status = 3;
        return;
    }
    ornax_converged_loop(land, input, state, region_switch, st, diagnostics);
    if (st != 0) {
        status = st;
        return;
    }
    ornax_integrate_daily_flux(land, input, state, output, st);
    // a value that is not a number must not leave the core
    status = output_is_finite(output) ? 0 : 3;
}
