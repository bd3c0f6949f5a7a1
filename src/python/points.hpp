// Many independent points through the model core, from flat arrays of their inputs to flat
// arrays of their outputs: the engine under the Python module's run_points.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

enum class Ornaxpointfieldkind { scalar, levels, hours };

// One input the points take: its record field name, kind and whether it must be given.
struct Ornaxpointfieldinfo {
    std::string name;
    Ornaxpointfieldkind kind;
    bool required;
};

// Every input run_points takes, the site file's fields first.
std::vector<Ornaxpointfieldinfo> ornax_point_fields();

// One input array as the caller holds it, read in place: float32 or float64 values at
// byte strides, one stride per axis of the points' shape (0 along an axis it is broadcast
// over) and, for a series, one between its levels or hours.
struct Ornaxpointarray {
    const void* data = nullptr;
    bool double_precision = false;  // float64 values, else float32
    std::vector<std::ptrdiff_t> strides;
    std::ptrdiff_t series_stride = 0;
};

struct Ornaxpointsrequest {
    std::vector<std::size_t> shape;  // the points' shape; its product is the point count
    int nlevels = 0;                 // sounding levels given per point (1..41)
    // by field name; a series holds nlevels or 24 values per point
    std::map<std::string, Ornaxpointarray> inputs;
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
// Values are converted to float point by point as the records are assembled (float64 rounded
// to the nearest float, as numpy's astype does), so no input is copied first.
void ornax_run_point_arrays(const Ornaxpointsrequest& request, Ornaxpointsresult& result);

// Points in the row-major order of a shape (the product of its extents).
std::size_t ornax_point_count(const std::vector<std::size_t>& shape);

// The inverse of the gathering: every field of the points' records as run_points takes it,
// by name, count x width floats with the point first (width 1, nlevels or 24). Integer
// fields become whole floats; nlevels is the largest npbl of the records (at least 1).
void ornax_point_arrays_from_records(const std::vector<Ornaxlandtype>& land,
                                     const std::vector<Ornaxinputvartype>& input,
                                     std::map<std::string, std::vector<float>>& arrays,
                                     int& nlevels);
