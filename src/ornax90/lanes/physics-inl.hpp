// The physics of the model core, written once over a lane number V: V = float runs one
// point, a vector of floats runs one point per lane in lockstep. The includer provides,
// in the namespace around this inclusion, the lane functions lane_exp, lane_log,
// lane_log10, lane_pow, lane_pow_of, lane_powers_below, lane_powers_of_min, lane_first,
// lane_sqrt, lane_sin, lane_cos, lane_asin, lane_acos, lane_abs, lane_min, lane_max,
// lane_trunc, lane_select, lane_any, lane_all and lane_same_bits for its number, and has
// included the headers of the core's records, the log and the fixed-text writer. No
// include guard: every lane number gets its own copy inside its own namespace.
#include "ornax90/lanes/rad-inl.hpp"
#include "ornax90/lanes/atmos-inl.hpp"
#include "ornax90/lanes/core-inl.hpp"
#include "ornax90/lanes/daily-inl.hpp"
