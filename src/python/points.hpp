// Many independent points through the model core, from flat arrays of their inputs to flat
// arrays of their outputs: the engine under the Python module's run_points.
#pragma once

#include <map>
#include <string>
#include <vector>

enum class Ornaxpointfieldkind { scalar, levels, hours };

// One input the points take: its record field name, kind and whether it must be given.
struct Ornaxpointfieldinfo {
    std::string name;
    Ornaxpointfieldkind kind;
    bool required;
};

// Every input run_points takes, the site file's fields first.
std::vector<Ornaxpointfieldinfo> ornax_point_fields();

struct Ornaxpointsrequest {
    std::size_t count = 0;  // points
    int nlevels = 0;        // sounding levels given per point (1..41)
    // by field name: count x 1, count x nlevels or count x 24 floats, point fastest last
    std::map<std::string, const float*> inputs;
    int region_switch = 0;  // 1: soil-resistance correction with rs_correct
    int threads = 1;
    bool one_lane = false;      // the one-lane core of the site run instead of the vector core
    bool flag_invalid = false;  // flag values outside the range table instead of refusing them
};

struct Ornaxpointsresult {
    std::vector<std::vector<float>> values;  // by output code - 1, NaN where not computed
    std::vector<float> fc, hc;               // cover fraction and canopy height used
    std::vector<float> energy_balance;       // RNET2 - XLE2 - G2 - H2 (W m-2)
    std::vector<unsigned char> quality;      // 0 computed; else 1 + bits of the inputs
    std::vector<int> evaluations;            // heat-flux evaluations of each point
    double core_s = 0.0;                     // seconds in the core, summed over the threads
    double total_s = 0.0;                    // wall-clock seconds of the whole call
};

// Runs every point. A value that is not a number flags its point (1 plus the bits of its
// input); a value outside the range table throws std::invalid_argument naming the field,
// the value, the range and the point (or flags it with flag_invalid), as does an integer
// field holding a fraction. Results do not depend on the thread count.
void ornax_run_point_arrays(const Ornaxpointsrequest& request, Ornaxpointsresult& result);
