// What the composite files hold: their variables (names, meanings, units, CF
// standard names and cell methods) and the per-pixel gap-fill and anomaly flags.
#pragma once

#include <string>
#include <vector>

#include "ornax90/output/vocabulary.hpp"

// A composite or gap-filled variable: name, meaning, units, CF standard name and the CF
// cell method over the window.
struct Ornaxcompositevarinfotype {
    Ornaxoutputvarinfotype var;
    std::string cell_methods;  // e.g. "time: sum", empty for the daily rasters
};

// The variables of a window composite, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_composite_variables();
// The rasters of a gap-filled day, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_filled_day_variables();
// The anomaly variables, in file order.
const std::vector<Ornaxcompositevarinfotype>& ornax_anomaly_variables();

// Per-pixel gap-fill flag of a day.
struct Ornaxfillflaginfotype {
    int value = 0;
    std::string meaning;  // CF flag_meanings word
};
inline constexpr int ornax_fill_observed = 0;
inline constexpr int ornax_fill_filled = 1;
inline constexpr int ornax_fill_filled_reference = 2;
inline constexpr int ornax_fill_not_filled = 3;
const std::vector<Ornaxfillflaginfotype>& ornax_fill_flags();

// Anomaly flag of a pixel.
inline constexpr int ornax_anomaly_ok = 0;
inline constexpr int ornax_anomaly_too_few_years = 1;
inline constexpr int ornax_anomaly_no_spread = 2;
const std::vector<Ornaxfillflaginfotype>& ornax_anomaly_flags();
