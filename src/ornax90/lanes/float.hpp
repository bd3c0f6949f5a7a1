// The one-lane number of the model core: a plain float with the standard mathematics
// functions, and a bool as its mask. The core's physics (lanes/physics-inl.hpp) is
// written once over a lane number; the vector core supplies the same functions for a
// vector of floats.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/lanes/pbl_table.hpp"

namespace ornax_one_lane {

inline float lane_exp(float x) {
    return std::exp(x);
}
inline float lane_log(float x) {
    return std::log(x);
}
inline float lane_log10(float x) {
    return std::log10(x);
}
inline float lane_pow(float x, float y) {
    return std::pow(x, y);
}
// base^y for a constant base > 0 (log_base, lane_log of the base, serves the vector core)
inline float lane_pow_of(float base, float /*log_base*/, float y) {
    return std::pow(base, y);
}
// x^a, and m^b and m^c for m = lane_min(x, limit) (log_limit serves the vector core)
inline void lane_powers_below(float x, float limit, float /*log_limit*/, float a, float b, float c,
                              float& xa, float& mb, float& mc) {
    const float m = limit < x ? limit : x;  // lane_min(x, limit)
    xa = std::pow(x, a);
    mb = std::pow(m, b);
    mc = std::pow(m, c);
}
// m^b and m^c for m = lane_min(x, limit), as lane_powers_below gives them
inline void lane_powers_of_min(float x, float limit, float /*log_limit*/, float b, float c,
                               float& mb, float& mc) {
    const float m = limit < x ? limit : x;  // lane_min(x, limit)
    mb = std::pow(m, b);
    mc = std::pow(m, c);
}
inline float lane_first(float x) {
    return x;
}
inline float lane_sqrt(float x) {
    return std::sqrt(x);
}
inline float lane_sin(float x) {
    return std::sin(x);
}
inline float lane_cos(float x) {
    return std::cos(x);
}
inline float lane_asin(float x) {
    return std::asin(x);
}
inline float lane_acos(float x) {
    return std::acos(x);
}
inline float lane_abs(float x) {
    return std::fabs(x);
}
// min and max as std::min and std::max: the first argument when either is not a number
inline float lane_min(float a, float b) {
    return b < a ? b : a;
}
inline float lane_max(float a, float b) {
    return a < b ? b : a;
}
// Truncation toward zero; exact for the magnitudes that are tested afterwards.
inline float lane_trunc(float x) {
    return std::trunc(x);
}
inline float lane_select(bool m, float yes, float no) {
    return m ? yes : no;
}
inline bool lane_any(bool m) {
    return m;
}
inline bool lane_all(bool m) {
    return m;
}
// Whether a and b hold the same bits in every lane (a number that is not one, or a zero of
// the other sign, differs).
inline bool lane_same_bits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Entry `index` (1-based, in range) of a whole boundary-layer table, or of the table of a
// working state, whose entries are written on demand.
struct Lanetable {
    const float* integral = nullptr;
    const float* height = nullptr;
    Ornaxdailyvartype* build = nullptr;
    float integral_at(float index) const {
        const int j = static_cast<int>(index);
        return build != nullptr ? lanes_pbl_table_entry(*build, j).integral : integral[j - 1];
    }
    float height_at(float index) const {
        const int j = static_cast<int>(index);
        return build != nullptr ? lanes_pbl_table_entry(*build, j).height : height[j - 1];
    }
};

}  // namespace ornax_one_lane
