// Core entry of the model: two-source energy balance with boundary-layer growth for one
// point, the outer relaxation of the morning heat flux HN and one evaluation of the balance.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// What one run of the core did, for callers that want to know (tests, benchmarks).
struct Ornaxcorediagnostics {
    int hn_evaluations = 0;  // evaluations of the balance made by the outer loop
    float final_hn = 0.0f;   // last trial HN (W m-2)
};

// Runs the core for one point: run initialisation, the heat-flux solution and the daily
// integration. The working state is created fresh for every call, so calls are
// independent and may run in parallel. debug_flag 1 writes diagnostic lines of the run
// initialisation; region_switch 1 applies the soil-resistance correction rs_correct.
// status 0, or 3 when the initialisation or the solution fails, or a non-finite value
// would leave the core (the output record is then not to be trusted).
void ornax(const Ornaxlandtype& land, const Ornaxinputvartype& input, Ornaxoutputvartype& output,
           int debug_flag, int region_switch, int& status,
           Ornaxcorediagnostics* diagnostics = nullptr);

// Relaxes the trial HN until a new evaluation changes it by at most 0.1 W m-2
// (at most 301 evaluations). status 0 converged, 3 failure or no convergence.
void ornax_converged_loop(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                          Ornaxdailyvartype& state, int region_switch, int& status,
                          Ornaxcorediagnostics* diagnostics = nullptr);

// One evaluation of the balance at both observation times for the trial HN; new_hn is
// updated from the boundary-layer growth (left as it is when the rise is outside the table).
void ornax_find_hn(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                   Ornaxdailyvartype& state, float hn, float& new_hn, int region_switch,
                   int& status);

// True when every value of the output record is finite.
bool ornax_output_is_finite(const Ornaxoutputvartype& output);

// One point of a batch for the vector core: the records it reads, and its results as
// `ornax` gives them.
struct Ornaxcorepoint {
    const Ornaxlandtype* land = nullptr;
    const Ornaxinputvartype* input = nullptr;
    Ornaxoutputvartype output;
    int status = 0;
    bool daily_failed = false;  // the hourly canopy properties failed ("Error in" is logged)
    Ornaxcorediagnostics diagnostics;
};

// Runs the core on every point of the batch, as `ornax` with debug_flag and region_switch
// would, one point per vector lane; a lane whose point finishes takes the next point. A
// point's results do not depend on its place in the batch. With diagnostic lines switched
// on (debug level or boundary-layer debug switch), the points run one after the other on
// the one-lane instance so that their lines keep their order. A caller that runs batch after
// batch may keep the lanes' working records in `workspace`, so that no batch allocates and
// clears them again; every point still starts from a fresh state.
struct Ornaxlaneworkspace {
    std::vector<Ornaxdailyvartype> states;  // each lane's start state and boundary-layer table
};
void ornax_lanes_run(std::span<Ornaxcorepoint> points, int debug_flag, int region_switch,
                     Ornaxlaneworkspace* workspace = nullptr);

// Name of the instruction set the vector core runs on, and its number of lanes.
std::string ornax_lanes_instruction_set();
int ornax_lanes_width();
