// Core entry and heat-flux solution: the trial morning heat flux HN is relaxed until the
// heat taken up by the growing boundary layer matches the flux it implies. The physics is
// the one-lane instance of the core's lane physics.
#include "ornax90/ORNAX_core_mod.hpp"

#include <cmath>

#include "ornax90/lanes/one.hpp"
#include "ornax90/ORNAX_utl_mod.hpp"

using namespace ornax_one_lane;

void ornax_find_hn(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, float hn, float& new_hn, int region_switch,
                   int& status) {
    const Lanetable table{nullptr, nullptr, &state};
    status = lanes_find_hn(ornax_point_lanes(land, input), state, table, hn, new_hn, region_switch)
                 ? 3
                 : 0;
}

void ornax_converged_loop(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                          Ornaxdailyvartype& state, int region_switch, int& status,
                          Ornaxcorediagnostics* diagnostics) {
    const Ornaxpointlanes<float> point = ornax_point_lanes(land, input);
    const Lanetable table{nullptr, nullptr, &state};
    // the new HN stands at the trial HN when the first table lookup is out of range
    Ornaxhnlanes<float> loop{state.hn_trial, state.hn_trial, 1.0f, 0.0f};
    bool converged = false;
    bool failed = false;
    while (!converged && !failed) {
        lanes_hn_iteration(point, state, table, region_switch, loop, converged, failed);
    }
    status = converged ? 0 : 3;
    if (diagnostics != nullptr) {
        diagnostics->hn_evaluations = static_cast<int>(loop.evaluations);
        diagnostics->final_hn = loop.hn;
    }
}

bool ornax_output_is_finite(const Ornaxoutputvartype& output) {
    const float* values = reinterpret_cast<const float*>(&output);
    for (std::size_t n = 0; n < sizeof(Ornaxoutputvartype) / sizeof(float); ++n) {
        if (!std::isfinite(values[n])) return false;
    }
    return true;
}

void ornax(const Ornaxlandtype& land, const Ornaxinputvartype& input, Ornaxoutputvartype& output,
           int debug_flag, int region_switch, int& status, Ornaxcorediagnostics* diagnostics) {
    Ornaxdailyvartype state{};  // fresh, all-zero working state for every run
    if (diagnostics != nullptr) *diagnostics = Ornaxcorediagnostics{};
    int st = 0;
    ornax_run_init(land, input, state, debug_flag, st);
    if (st != 0) {
        status = ornax_status_failure;
        return;
    }
    ornax_converged_loop(land, input, state, region_switch, st, diagnostics);
    if (st != 0) {
        status = st;
        return;
    }
    ornax_integrate_daily_flux(land, input, state, output, st);
    // a value that is not a number must not leave the core
    status = ornax_output_is_finite(output) ? 0 : 3;
}
